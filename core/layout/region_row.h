#pragma once
// The region rows: one for each flash region of the layout, in the order in which the regions are
// laid into the image. The loader makes them, parsing each value once; the user's image choices
// complete them; the writer, the check, verification and the map read them, and the dialog's list
// shows them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// The regions the tool knows, in the order in which they are looked up.
inline constexpr std::array<const char*, 12> kRegionNames = {
    "bootloader", "recovery", "kernel", "userland", "firmware", "license",
    "config",     "image",    "fpga",   "free1",    "free2",    "ipl",
};

// The known region name that name spells, ASCII letters compared without regard to case (as the
// look-up compares section names); null when it is none of them.
const char* FindRegionName(std::string_view name);

// The most bytes (in code page 932) of a value that the look-up gives, as the dialog program looks
// values up: the rows' texts are cut there.
inline constexpr size_t kValueBytes = 63;

struct RegionRow {
  std::string regionName;   // the section name, one of kRegionNames
  std::string offsetText;   // OFFSET as the layout gives it, cut at 63 bytes as the look-up cuts it
  std::string sizeText;     // SIZE likewise; empty when the section has none
  std::string imagePath;    // empty until the user chooses a file
  std::int64_t offset = 0;  // offsetText read as hexadecimal at 64 bits: the order of the rows
  std::int64_t size = 0;    // sizeText read so: the bytes that the region takes in the image
  // Whether the numbers fit 64 bits; one that does not is saturated above, and no image can be
  // written from the row.
  bool offsetFits = true;
  bool sizeFits = true;
};

// The row of the region named; null when there is none.
const RegionRow* FindRow(const std::vector<RegionRow>& rows, std::string_view regionName);
RegionRow* FindRow(std::vector<RegionRow>& rows, std::string_view regionName);

// The input that writing to path would overwrite, under any spelling: the layout file, or the image
// file of a row. None when path is neither.
struct Input {
  bool isLayout = false;
  std::string region;  // whose image file it is, unless it is the layout
};
std::optional<Input> OverwrittenInput(const std::string& path, const std::string& layoutPath,
                                      const std::vector<RegionRow>& rows);

}  // namespace quorvel
