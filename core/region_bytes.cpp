#include "region_bytes.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
    m_problem = Problem::NegativeSize;
    return;
  }
  m_placed.size = static_cast<std::uint64_t>(size);
  if (m_placed.imagePath.empty()) return;
  m_image = File::OpenForReading(m_placed.imagePath);
  if (!m_image) {
    m_problem = Problem::CannotOpen;
    return;
  }
  const std::optional<std::uint64_t> imageSize = m_image->Size();
  if (!imageSize) {
    m_problem = Problem::CannotRead;
  } else if (*imageSize > m_placed.size) {
    m_problem = Problem::Oversize;
  } else {
    m_placed.imageBytes = *imageSize;
  }
}

RegionBytes::Chunk RegionBytes::Fail(Problem problem) {
  m_problem = problem;
  return {nullptr, 0};
}

namespace {

// One block of 0xFF for every region's fill, made on first use.
const char* FillBlock() {
  static const std::unique_ptr<char[]> block = [] {
    std::unique_ptr<char[]> b(new char[kStreamBufferSize]);
    std::memset(b.get(), 0xFF, kStreamBufferSize);
    return b;
  }();
  return block.get();
}

}  // namespace

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

bool RegionBytes::ImageEndsHere() {
  char extra;
  const std::optional<size_t> more = m_image->Read(&extra, 1);
  if (!more) return Fail(Problem::CannotRead), false;
  if (*more != 0) return Fail(Problem::Changed), false;
  m_image.reset();
  return true;
}

RegionBytes::Copy RegionBytes::CopyImageInto(File& output) {
  if (m_problem != Problem::None || m_done >= m_placed.imageBytes) return Copy::Done;
  switch (output.CopyFrom(*m_image, m_placed.imageBytes - m_done)) {
    case File::CopyResult::Unsupported: return Copy::Unsupported;
    case File::CopyResult::ReadFailed: Fail(Problem::CannotRead); return Copy::Failed;
    case File::CopyResult::WriteFailed: return Copy::WriteFailed;
    case File::CopyResult::Done: break;
  }
  m_done = m_placed.imageBytes;
  return ImageEndsHere() ? Copy::Done : Copy::Failed;
}

RegionBytes::Chunk RegionBytes::Next(char* buffer, size_t capacity) {
  if (m_problem != Problem::None || m_done == m_placed.size) return {nullptr, 0};
  if (m_done < m_placed.imageBytes) {
    // Exactly the checked number of bytes: an image that ends early is a failed read.
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.imageBytes - m_done, capacity));
    const std::optional<size_t> got = m_image->Read(buffer, want);
    if (!got || *got != want) return Fail(Problem::CannotRead);
    m_done += want;
    if (m_done == m_placed.imageBytes && !ImageEndsHere()) return {nullptr, 0};
    return {buffer, want};
  }
  const size_t fill = static_cast<size_t>(std::min<std::uint64_t>({m_placed.size - m_done, capacity, kStreamBufferSize}));
  m_done += fill;
  return {FillBlock(), fill};
}

}  // namespace quorvel
