#include "layout/region_row.h"

#include <utility>

#include "base/text.h"
#include "files/path.h"

namespace quorvel {

const char* FindRegionName(std::string_view name) {
  const std::string lower = qbase::AsciiLower(name);
  for (const char* region : kRegionNames) {
    if (lower == region) return region;
  }
  return nullptr;
}

const RegionRow* FindRow(const std::vector<RegionRow>& rows, std::string_view regionName) {
  for (const RegionRow& row : rows) {
    if (row.regionName == regionName) return &row;
  }
  return nullptr;
}

RegionRow* FindRow(std::vector<RegionRow>& rows, std::string_view regionName) {
  return const_cast<RegionRow*>(FindRow(std::as_const(rows), regionName));
}

std::optional<Input> OverwrittenInput(const std::string& path, const std::string& layoutPath,
                                      const std::vector<RegionRow>& rows) {
  if (!layoutPath.empty() && IsSameFile(path, layoutPath)) return Input{true, {}};
  for (const RegionRow& row : rows) {
    if (!row.imagePath.empty() && IsSameFile(path, row.imagePath)) return Input{false, row.regionName};
  }
  return std::nullopt;
}

}  // namespace quorvel
