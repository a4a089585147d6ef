#include "region_bytes.h"

#include <algorithm>
#include <cstring>

#include "hex.h"
#include "messages.h"

namespace quorvel {

RegionBytes::RegionBytes(const RegionTable& table, int row, std::uint64_t position) {
  const std::int32_t size = ParseHex(table.GetCell(row, COL_SIZE, kSizeCapacity));
  m_placed.regionName = table.GetCell(row, COL_REGION, kRegionNameCapacity);
  m_placed.offsetText = table.GetCell(row, COL_ADDRESS, kValueCapacity);
  m_placed.imagePath = table.GetCell(row, COL_IMAGE, kImagePathCapacity);
  m_placed.position = position;
  if (size < 0) {
    Fail(Problem::NegativeSize);
    return;
  }
  m_placed.size = static_cast<std::uint64_t>(size);
  if (m_placed.imagePath.empty()) return;
  m_image = File::OpenForReading(m_placed.imagePath);
  if (!m_image) {
    Fail(Problem::CannotOpen);
    return;
  }
  const std::optional<std::uint64_t> imageSize = m_image->Size();
  if (!imageSize) {
    Fail(Problem::CannotRead);
  } else if (*imageSize > m_placed.size) {
    Fail(Problem::Oversize);
  } else {
    m_placed.imageBytes = *imageSize;
  }
}

size_t RegionBytes::Fail(Problem problem) {
  m_problem = problem;
  return 0;
}

std::string RegionBytes::ProblemMessage() const {
  switch (m_problem) {
    case Problem::None: return {};
    case Problem::NegativeSize: return kMsgOutOfMemory;
    case Problem::CannotOpen: return kMsgCannotOpen;
    case Problem::CannotRead: return kMsgCannotRead;
    case Problem::Oversize: return OversizeMessage(m_placed.regionName);
    case Problem::Changed: return ImageChangedMessage(m_placed.regionName);
  }
  return {};
}

size_t RegionBytes::Next(char* buffer, size_t capacity) {
  if (m_problem != Problem::None || m_done == m_placed.size) return 0;
  if (m_done < m_placed.imageBytes) {
    // Exactly the checked number of bytes: an image that ends early is a failed read.
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.imageBytes - m_done, capacity));
    const std::optional<size_t> got = m_image->Read(buffer, want);
    if (!got || *got != want) return Fail(Problem::CannotRead);
    m_done += want;
    if (m_done == m_placed.imageBytes) {
      // An image that has grown since its size was checked is not the file the user chose.
      char extra;
      const std::optional<size_t> more = m_image->Read(&extra, 1);
      if (!more) return Fail(Problem::CannotRead);
      if (*more != 0) return Fail(Problem::Changed);
      m_image.reset();
    }
    return want;
  }
  const size_t fill = static_cast<size_t>(std::min<std::uint64_t>(m_placed.size - m_done, capacity));
  std::memset(buffer, 0xFF, fill);
  m_done += fill;
  return fill;
}

}  // namespace quorvel
