#include "image/region_bytes.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace quorvel {
RegionBytes::RegionBytes(const RegionRow& row, std::uint64_t position) {
  m_placed.regionName = row.regionName;
  m_placed.offsetText = row.offsetText;
  m_placed.imagePath = row.imagePath;
  m_placed.position = position;
  // A number that does not mean what its text says has no bytes.
  if (!row.offsetFits || !row.sizeFits || row.size < 0) {
    const MessageId id = !row.offsetFits ? MessageId::OffsetBeyond64Bits
                         : !row.sizeFits ? MessageId::SizeBeyond64Bits
                                         : MessageId::OutOfMemory;  // what the dialog program says of a negative SIZE
    m_problem = Message{id, row.regionName, {}, {}, row.offsetFits ? "SIZE=" + row.sizeText : "OFFSET=" + row.offsetText};
    return;
  }
  m_placed.size = static_cast<std::uint64_t>(row.size);
  if (m_placed.imagePath.empty()) return;
  m_image = File::OpenForReading(m_placed.imagePath);
  if (!m_image) {
    Fail(MessageId::CannotOpen, true);
    return;
  }
  m_stamp = m_image->SizedStamp();
  m_stream = !m_stamp;
  if (m_stream) return;
  if (m_stamp->size > m_placed.size) {
    Fail(MessageId::Oversize);
  } else {
    m_placed.imageBytes = m_stamp->size;
  }
}

RegionBytes::Chunk RegionBytes::Fail(MessageId id, bool systemReason) {
  m_problem = Message{id, m_placed.regionName, m_placed.imagePath, systemReason ? LastSystemError() : std::string()};
  return {nullptr, 0};
}

// A read that fails or ends early: an image cut or written while it was read changed.
MessageId RegionBytes::ReadProblem() const {
  return m_stamp && m_image->Stamp() != m_stamp ? MessageId::ImageChanged : MessageId::CannotRead;
}

bool RegionBytes::ImageEndsHere() {
  char extra;
  const std::optional<size_t> more = m_image->Read(&extra, 1);
  if (!more) return Fail(MessageId::CannotRead, true), false;
  if (*more != 0 || m_image->Stamp() != m_stamp) return Fail(MessageId::ImageChanged), false;
  m_image.reset();
  return true;
}

RegionBytes::Copy RegionBytes::CopyImageInto(File& output) {
  if (m_stream) return Copy::Unsupported;
  if (m_problem || m_done >= m_placed.imageBytes) return Copy::Done;
  switch (output.CopyFrom(*m_image, m_placed.imageBytes - m_done)) {
    case File::CopyResult::Unsupported: return Copy::Unsupported;
    case File::CopyResult::ReadFailed: Fail(ReadProblem(), true); return Copy::Failed;
    case File::CopyResult::WriteFailed: return Copy::WriteFailed;
    case File::CopyResult::Done: break;
  }
  m_done = m_placed.imageBytes;
  return ImageEndsHere() ? Copy::Done : Copy::Failed;
}

// A stream's bytes go into the region as they come, handed on as soon as they are there (a slow pipe's
// few at a time); one byte more than the region holds is too many.
RegionBytes::Chunk RegionBytes::NextFromStream(char* buffer, size_t capacity) {
  const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.size - m_done, capacity));
  const std::optional<size_t> got = m_image->ReadSome(buffer, want > 0 ? want : 1);
  if (!got) return Fail(MessageId::CannotRead, true);
  if (*got == 0) {  // its end
    m_image.reset();
    return Next(buffer, capacity);
  }
  if (want == 0) return Fail(MessageId::Oversize);
  m_done += *got;
  m_placed.imageBytes = m_done;
  return {buffer, *got};
}

RegionBytes::Chunk RegionBytes::Next(char* buffer, size_t capacity) {
  if (m_problem || (m_done == m_placed.size && !m_image)) return {nullptr, 0};
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
  const size_t fill = static_cast<size_t>(std::min<std::uint64_t>({m_placed.size - m_done, capacity, kErasedBlockSize}));
  if (fill == 0) return {nullptr, 0};
  m_done += fill;
  return {ErasedBlock(), fill, true};
}

std::uint64_t RegionBytes::TakeFill() {
  const std::uint64_t rest = m_placed.size - m_done;
  m_done = m_placed.size;
  return rest;
}

}  // namespace quorvel
