#include "layout/layout_loader.h"

#include <algorithm>

#include "text/value_text.h"

namespace quorvel {

LayoutFile ReadLayout(const std::string& path) {
  LayoutFile layout;
  WholeFile whole = ReadWholeFile(path, kMaxLayoutBytes);
  if (whole.status == WholeFile::Status::Read) {
    layout.profile = ProfileFile::Parse(whole.bytes);
  } else {
    layout.reason = whole.status == WholeFile::Status::TooLarge ? std::string() : LastSystemError();
  }
  layout.status = whole.status;
  return layout;
}

std::vector<RegionRow> LoadLayout(const ProfileFile& profile) {
  std::vector<RegionRow> rows;
  for (const char* name : kRegionNames) {
    RegionRow row;
    row.offsetText = profile.Lookup(name, "OFFSET", kValueBytes + 1);
    if (row.offsetText.empty()) continue;
    row.regionName = name;
    row.sizeText = profile.Lookup(name, "SIZE", kValueBytes + 1);
    const HexReading offset = ReadHex(row.offsetText), size = ReadHex(row.sizeText);
    row.offset = offset.value;
    row.offsetFits = offset.fits;
    row.size = size.value;
    row.sizeFits = size.fits;
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const RegionRow& a, const RegionRow& b) { return a.offset < b.offset; });
  return rows;
}

std::optional<std::vector<RegionRow>> LoadLayout(const std::string& path) {
  const LayoutFile layout = ReadLayout(path);
  if (layout.status != WholeFile::Status::Read) return std::nullopt;
  return LoadLayout(layout.profile);
}

}  // namespace quorvel
