#include "image_verify.h"

#include <cstring>
#include <memory>

#include "file_access.h"
#include "image_writer.h"
#include "region_bytes.h"

namespace quorvel {
namespace {

// Compares one region with the image's bytes at the image's current position.
RegionCheck CompareRegion(RegionBytes& expected, File& image, char* want, char* have) {
  RegionCheck check{expected.Placed().regionName, expected.Placed().position, expected.Placed().size, false, {}};
  if (expected.GetProblem() != RegionBytes::Problem::None) {
    check.detail = expected.ProblemMessage();
    return check;
  }
  std::uint64_t offset = 0;
  bool differs = false;
  std::uint64_t firstDifference = 0;
  for (RegionBytes::Chunk chunk; (chunk = expected.Next(want, kStreamBufferSize)).size > 0;) {
    const size_t count = chunk.size;
    const std::optional<size_t> got = image.Read(have, count);
    if (!got) {
      check.detail = "the image cannot be read";
      return check;
    }
    if (*got < count) {
      check.detail = "the image ends " + std::to_string(offset + *got) + " bytes into this region";
      return check;
    }
    if (!differs && std::memcmp(chunk.data, have, count) != 0) {
      differs = true;
      size_t i = 0;
      while (chunk.data[i] == have[i]) ++i;
      firstDifference = offset + i;
    }
    offset += count;
  }
  if (expected.GetProblem() != RegionBytes::Problem::None) {
    check.detail = expected.ProblemMessage();
  } else if (differs) {
    check.detail = "differs from byte " + std::to_string(firstDifference) + " of the region on";
  } else {
    check.matches = true;
  }
  return check;
}

}  // namespace

bool VerifyReport::AllMatch() const {
  for (const RegionCheck& r : regions) {
    if (!r.matches) return false;
  }
  return imageSize == expectedSize;
}

std::optional<VerifyReport> VerifyImage(const RegionTable& table, const std::string& imagePath) {
  std::optional<File> image = File::OpenForReading(imagePath);
  if (!image) return std::nullopt;
  const std::optional<std::uint64_t> imageSize = image->Size();
  if (!imageSize) return std::nullopt;
  const std::unique_ptr<char[]> buffers(new char[2 * kStreamBufferSize]);
  VerifyReport report;
  report.imageSize = *imageSize;
  for (int row = 0; row < table.Count(); ++row) {
    if (!image->SeekTo(report.expectedSize)) return std::nullopt;
    RegionBytes expected(table, row, report.expectedSize);
    report.regions.push_back(CompareRegion(expected, *image, buffers.get(), buffers.get() + kStreamBufferSize));
    report.expectedSize += expected.Placed().size;
  }
  return report;
}

}  // namespace quorvel
