#include "image/region_bytes.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>


namespace quorvel {
namespace {

// One block of 0xFF for every region's fill, made on first use: a quarter of the stream buffer,
// which writes as fast and keeps the record formats' peak memory low.
constexpr size_t kFillBlockSize = kStreamBufferSize / 4;

const char* FillBlock() {
  static const std::unique_ptr<char[]> block = [] {
    std::unique_ptr<char[]> b(new char[kFillBlockSize]);
    std::memset(b.get(), 0xFF, kFillBlockSize);
    return b;
  }();
  return block.get();
}

}  // namespace

RegionBytes::RegionBytes(const RegionRow& row, std::uint64_t position) {
  m_placed.regionName = row.regionName;
  m_placed.offsetText = row.offsetText;
  m_placed.imagePath = row.imagePath;
  m_placed.position = position;
  // A number that does not mean what its text says has no bytes.
  if (!row.offsetFits || !row.sizeFits || row.size < 0) {
    m_entry = row.offsetFits ? "SIZE=" + row.sizeText : "OFFSET=" + row.offsetText;
    Fail(!row.offsetFits ? Problem::OffsetBeyond64Bits : !row.sizeFits ? Problem::SizeBeyond64Bits : Problem::NegativeSize);
    return;
  }
  m_placed.size = static_cast<std::uint64_t>(row.size);
  if (m_placed.imagePath.empty()) return;
  m_image = File::OpenForReading(m_placed.imagePath);
  if (!m_image) {
    Fail(Problem::CannotOpen, true);
    return;
  }
  m_stamp = m_image->SizedStamp();
  m_stream = !m_stamp;
  if (m_stream) return;
  if (m_stamp->size > m_placed.size) {
    Fail(Problem::Oversize);
  } else {
    m_placed.imageBytes = m_stamp->size;
  }
}

RegionBytes::Chunk RegionBytes::Fail(Problem problem, bool systemReason) {
  m_problem = problem;
  if (systemReason) m_reason = LastSystemError();
  return {nullptr, 0};
}

Message RegionBytes::ProblemMessage() const {
  const auto about = [&](MessageId id) { return Message{id, m_placed.regionName, m_placed.imagePath, m_reason}; };
  switch (m_problem) {
    case Problem::OffsetBeyond64Bits: return {MessageId::OffsetBeyond64Bits, m_placed.regionName, {}, {}, m_entry};
    case Problem::SizeBeyond64Bits: return {MessageId::SizeBeyond64Bits, m_placed.regionName, {}, {}, m_entry};
    case Problem::NegativeSize: return {MessageId::OutOfMemory, m_placed.regionName, {}, {}, m_entry};
    case Problem::CannotOpen: return about(MessageId::CannotOpen);
    case Problem::CannotRead: return about(MessageId::CannotRead);
    case Problem::Oversize: return about(MessageId::Oversize);
    case Problem::Changed: return about(MessageId::ImageChanged);
    case Problem::None: break;
  }
  assert(!"a message is asked for a problem only");
  return about(MessageId::UnexpectedError);
}

// A read that fails or ends early: an image cut or written while it was read changed.
RegionBytes::Problem RegionBytes::ReadProblem() const {
  return m_stamp && m_image->Stamp() != m_stamp ? Problem::Changed : Problem::CannotRead;
}

bool RegionBytes::ImageEndsHere() {
  char extra;
  const std::optional<size_t> more = m_image->Read(&extra, 1);
  if (!more) return Fail(Problem::CannotRead, true), false;
  if (*more != 0 || m_image->Stamp() != m_stamp) return Fail(Problem::Changed), false;
  m_image.reset();
  return true;
}

RegionBytes::Copy RegionBytes::CopyImageInto(File& output) {
  if (m_stream) return Copy::Unsupported;
  if (m_problem != Problem::None || m_done >= m_placed.imageBytes) return Copy::Done;
  switch (output.CopyFrom(*m_image, m_placed.imageBytes - m_done)) {
    case File::CopyResult::Unsupported: return Copy::Unsupported;
    case File::CopyResult::ReadFailed: Fail(ReadProblem(), true); return Copy::Failed;
    case File::CopyResult::WriteFailed: return Copy::WriteFailed;
    case File::CopyResult::Done: break;
  }
  m_done = m_placed.imageBytes;
  return ImageEndsHere() ? Copy::Done : Copy::Failed;
}

// A stream's bytes go into the region as they come; one byte more than the region holds is too many.
RegionBytes::Chunk RegionBytes::NextFromStream(char* buffer, size_t capacity) {
  const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.size - m_done, capacity));
  const std::optional<size_t> got = m_image->Read(buffer, want > 0 ? want : 1);
  if (!got) return Fail(Problem::CannotRead, true);
  if (want == 0 && *got > 0) return Fail(Problem::Oversize);
  if (*got < want || want == 0) m_image.reset();  // its end
  m_done += *got;
  m_placed.imageBytes = m_done;
  return *got > 0 ? Chunk{buffer, *got} : Next(buffer, capacity);
}

RegionBytes::Chunk RegionBytes::Next(char* buffer, size_t capacity) {
  if (m_problem != Problem::None || (m_done == m_placed.size && !m_image)) return {nullptr, 0};
  if (m_stream && m_image) return NextFromStream(buffer, capacity);
  if (m_done < m_placed.imageBytes) {
    // Exactly the checked number of bytes: an image that ends early is a failed read.
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.imageBytes - m_done, capacity));
    const std::optional<size_t> got = m_image->Read(buffer, want);
    if (!got) return Fail(ReadProblem(), true);
    if (*got != want) return Fail(ReadProblem());
    m_done += want;
    if (m_done == m_placed.imageBytes && !ImageEndsHere()) return {nullptr, 0};
    return {buffer, want};
  }
  const size_t fill = static_cast<size_t>(std::min<std::uint64_t>({m_placed.size - m_done, capacity, kFillBlockSize}));
  if (fill == 0) return {nullptr, 0};
  m_done += fill;
  return {FillBlock(), fill, true};
}

}  // namespace quorvel
