#include "layout_loader.h"

#include "file_access.h"
#include "hex.h"

namespace quorvel {

bool LoadLayout(RegionTable& table, const std::string& path) {
  const std::optional<std::string> bytes = ReadWholeFile(path);
  LoadLayout(table, bytes ? ProfileFile::Parse(*bytes) : ProfileFile());
  return bytes.has_value();
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
  table.Append(offset, ParseHex(offset));
  table.SetCell(row, COL_SIZE, profile.Lookup(section, "SIZE", kValueCapacity));
  table.SetCell(row, COL_REGION, section);
}

}  // namespace quorvel
