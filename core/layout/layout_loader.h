#pragma once
// Reads a layout file into the region table.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/file_access.h"
#include "layout/profile.h"
#include "layout/region_table.h"

namespace quorvel {

// The regions the tool knows, in the order in which they are looked up.
inline constexpr std::array<const char*, 12> kRegionNames = {
    "bootloader", "recovery", "kernel", "userland", "firmware", "license",
    "config",     "image",    "fpga",   "free1",    "free2",    "ipl",
};

// The known region name that name spells, ASCII letters compared without regard to case (as the
// look-up compares section names); null when it is none of them.
const char* FindRegionName(std::string_view name);

// No layout file is this large; a larger file is not read (it could exhaust a 32-bit program).
inline constexpr std::uint64_t kMaxLayoutBytes = std::uint64_t{64} << 20;

// A layout file read to its end and parsed, or why not.
struct LayoutFile {
  WholeFile::Status status = WholeFile::Status::Unreadable;
  std::string reason;   // the system's, when the file could not be read
  ProfileFile profile;  // empty unless read
};
LayoutFile ReadLayout(const std::string& path);

// Empties the table, adds a row for every known region whose section has an OFFSET, and sorts the
// rows by offset. Image choices are gone afterwards. A file that cannot be read leaves the table
// empty, as a file without regions does; the result tells the two apart for callers that report it.
bool LoadLayout(RegionTable& table, const std::string& path);
// The same from a layout file that has been read already.
void LoadLayout(RegionTable& table, const ProfileFile& profile);

// Adds the row of one region if its section has an OFFSET; the values go in unchecked.
void AddRegionRow(RegionTable& table, const ProfileFile& profile, const std::string& section);

}  // namespace quorvel
