#pragma once
// Writes the whole-flash image: every row of the region table, in table order, contributes exactly
// its size, namely its image file's bytes followed by 0xFF.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "messages.h"
#include "region_table.h"

namespace quorvel {

// Where one region landed in the image.
struct PlacedRegion {
  std::string regionName;
  std::string offsetText;
  std::string imagePath;
  std::uint64_t position = 0;    // first byte of the region in the image
  std::uint64_t size = 0;
  std::uint64_t imageBytes = 0;  // taken from the image file; the rest of size is 0xFF
};

// The writer streams each region through one fixed buffer of this size, whatever the region size.
inline constexpr size_t kStreamBufferSize = size_t{4} << 20;

// Writes the image to outputPath and tells the outcome through sink: the success message, or the
// one error that stopped it. A failure is shown while the files are still open; afterwards the
// partial output is deleted (only if it is a regular file that this call created or emptied), and
// no image file is ever written to. Returns the region map on success.
std::optional<std::vector<PlacedRegion>> GenerateImage(const RegionTable& table, const std::string& outputPath,
                                                       MessageSink& sink);

}  // namespace quorvel
