#pragma once
// Reads a layout file into region rows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/file.h"
#include "layout/profile.h"
#include "layout/region_row.h"

namespace quorvel {

// No layout file is this large; a larger file is not read (it could exhaust a 32-bit program).
inline constexpr std::uint64_t kMaxLayoutBytes = std::uint64_t{64} << 20;

// A layout file read to its end and parsed, or why not.
struct LayoutFile {
  WholeFile::Status status = WholeFile::Status::Unreadable;
  std::string reason;   // the system's, when the file could not be read
  ProfileFile profile;  // empty unless read
};
LayoutFile ReadLayout(const std::string& path);

// A row for every known region whose section has an OFFSET, sorted by offset (rows of one offset in
// the order of kRegionNames), no image chosen; the values go in unchecked.
std::vector<RegionRow> LoadLayout(const ProfileFile& profile);
// The same from the file at path; none when it cannot be read.
std::optional<std::vector<RegionRow>> LoadLayout(const std::string& path);

}  // namespace quorvel
