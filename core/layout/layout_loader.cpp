#include "layout/layout_loader.h"

#include <algorithm>

#include "base/text.h"
#include "files/file_access.h"
#include "text/value_text.h"

namespace quorvel {

const char* FindRegionName(std::string_view name) {
  const std::string lower = qbase::AsciiLower(name);
  for (const char* region : kRegionNames) {
    if (lower == region) return region;
  }
  return nullptr;
}

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

bool LoadLayout(RegionTable& table, const std::string& path) {
  const LayoutFile layout = ReadLayout(path);
  LoadLayout(table, layout.profile);
  return layout.status == WholeFile::Status::Read;
}

void LoadLayout(RegionTable& table, const ProfileFile& profile) {
  table.Clear();
  for (const char* name : kRegionNames) AddRegionRow(table, profile, name);
  table.SortByOffset();
}

void AddRegionRow(RegionTable& table, const ProfileFile& profile, const std::string& section) {
  const std::string offset = profile.Lookup(section, "OFFSET", kValueCapacity);
  if (offset.empty()) return;
  const int row = table.Count();
  table.Append(offset, ParseHex64(offset));
  table.SetCell(row, COL_SIZE, profile.Lookup(section, "SIZE", kValueCapacity));
  table.SetCell(row, COL_REGION, section);
}

}  // namespace quorvel
