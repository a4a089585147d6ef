#include "image/image_verify.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "files/file.h"
#include "image/region_bytes.h"

namespace quorvel {
namespace {

// Reads and drops up to count bytes of the image; the number read.
std::uint64_t Skip(File& image, std::uint64_t count, char* buffer) {
  std::uint64_t skipped = 0;
  while (skipped < count) {
    const std::optional<size_t> got =
        image.Read(buffer, static_cast<size_t>(std::min<std::uint64_t>(count - skipped, kStreamBufferSize)));
    if (!got || *got == 0) break;
    skipped += *got;
  }
  return skipped;
}

// Compares one region with the image's next bytes, and reads all of the region's bytes from the
// image whatever the outcome; consumed counts the image's bytes read.
RegionCheck CompareRegion(RegionBytes& expected, File& image, char* want, char* have, std::uint64_t& consumed) {
  RegionCheck check;
  check.regionName = expected.Placed().regionName;
  check.position = expected.Placed().position;
  check.size = expected.Placed().size;
  std::uint64_t offset = 0;
  bool differs = false, ended = false;
  std::uint64_t firstDifference = 0;
  for (RegionBytes::Chunk chunk; !ended && (chunk = expected.Next(want, kStreamBufferSize)).size > 0;) {
    const size_t count = chunk.size;
    const std::optional<size_t> got = image.Read(have, count);
    ended = !got || *got < count;
    if (!got) {
      check.outcome = RegionCheck::Outcome::ImageUnreadable;
      return check;
    }
    if (!differs && std::memcmp(chunk.data, have, *got) != 0) {
      differs = true;
      size_t i = 0;
      while (chunk.data[i] == have[i]) ++i;
      firstDifference = offset + i;
    }
    offset += *got;
  }
  if (ended) {
    check.outcome = RegionCheck::Outcome::ImageEnds;
    check.at = offset;
  } else if (expected.Problem()) {
    check.outcome = RegionCheck::Outcome::RegionUnreadable;
    check.problem = expected.Problem();
    offset += Skip(image, expected.Placed().size - std::min(offset, expected.Placed().size), have);
  } else if (differs) {
    check.outcome = RegionCheck::Outcome::Differs;
    check.at = firstDifference;
  }
  consumed += offset;
  return check;
}

}  // namespace

bool VerifyReport::AllMatch() const {
  for (const RegionCheck& r : regions) {
    if (!r.Matches()) return false;
  }
  return imageSize == expectedSize;
}

std::optional<VerifyReport> VerifyImage(const std::vector<RegionRow>& rows, const std::string& imagePath, std::uint64_t base) {
  std::optional<File> image = File::OpenForReading(imagePath);
  if (!image) return std::nullopt;
  const std::unique_ptr<char[]> buffers(new char[2 * kStreamBufferSize]);
  // Read from start to end, region after region, so that a pipe is compared as a file is.
  VerifyReport report;
  std::uint64_t consumed = 0;
  for (const RegionRow& row : rows) {
    RegionBytes expected(row, report.expectedSize, base);
    report.regions.push_back(CompareRegion(expected, *image, buffers.get(), buffers.get() + kStreamBufferSize, consumed));
    report.expectedSize += expected.Placed().size;
  }
  // Whatever the image holds beyond the layout, counted up to one buffer.
  const std::optional<size_t> extra = image->Read(buffers.get(), kStreamBufferSize);
  if (!extra) return std::nullopt;
  report.imageSize = consumed + *extra;
  report.imageGoesOn = *extra == kStreamBufferSize;
  return report;
}

}  // namespace quorvel
