#include "image/region_bytes.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/hex_digits.h"
#include "files/path.h"
#include "image/record_image.h"

namespace quorvel {

// The region's image file read as records, at any offset.
class RegionBytes::RecordSource final : public RandomAccessInput {
 public:
  RecordSource(File& source, std::uint64_t start, std::uint64_t size) : file(source), image(*this, start, size) {}
  std::optional<size_t> ReadAt(std::uint64_t offset, void* buffer, size_t size) override { return file.ReadAt(offset, buffer, size); }

  File& file;
  RecordImage image;
};

namespace {

// The file's first bytes from the first that is no blank or line end on (empty when none is); none
// when it cannot be read.
std::optional<std::string> FirstBytes(File& file) {
  char piece[4096];
  for (std::uint64_t offset = 0;;) {
    const std::optional<size_t> got = file.ReadAt(offset, piece, sizeof piece);
    if (!got) return std::nullopt;
    const std::string_view text(piece, *got);
    if (const size_t first = text.find_first_not_of(" \t\r\n"); first != std::string_view::npos) return std::string(text.substr(first));
    if (*got < sizeof piece) return std::string();
    offset += *got;
  }
}

}  // namespace

std::uint64_t NextPosition(std::uint64_t position, const RegionRow& row) {
  const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, row.size));
  return size > UINT64_MAX - position ? UINT64_MAX : position + size;
}

std::optional<Message> RowProblem(const RegionRow& row) {
  if (row.offsetFits && row.sizeFits && row.size >= 0) return std::nullopt;
  const MessageId id = !row.offsetFits ? MessageId::OffsetBeyond64Bits
                       : !row.sizeFits ? MessageId::SizeBeyond64Bits
                                       : MessageId::OutOfMemory;  // what the dialog program says of a negative SIZE
  return Message{id, row.regionName, {}, {}, row.offsetFits ? "SIZE=" + row.sizeText : "OFFSET=" + row.offsetText};
}

RegionBytes::RegionBytes(const RegionRow& row, std::uint64_t position, std::uint64_t base) {
  m_placed.regionName = row.regionName;
  m_placed.offsetText = row.offsetText;
  m_placed.imagePath = row.imagePath;
  m_placed.position = position;
  // A number that does not mean what its text says has no bytes.
  if ((m_problem = RowProblem(row))) return;
  m_placed.size = static_cast<std::uint64_t>(row.size);
  if (m_placed.imagePath.empty()) return;
  // Records are read twice, which no pipe gives: one named so is refused before its opening waits
  // for a writer.
  if (HasRecordName(m_placed.imagePath) && IsPipe(m_placed.imagePath)) {
    Fail(MessageId::RecordsNotAFile);
    return;
  }
  m_image = File::OpenForReading(m_placed.imagePath);
  if (!m_image) {
    Fail(MessageId::CannotOpen, true);
    return;
  }
  m_placed.imageFormat = OutputFormat::Binary;
  m_stamp = m_image->SizedStamp();
  if (HasRecordName(m_placed.imagePath) && !OpenRecords(base > UINT64_MAX - position ? UINT64_MAX : base + position)) return;
  if (m_records) return;
  m_stream = !m_stamp;
  if (m_stream) return;
  if (m_stamp->size > m_placed.size) {
    Fail(MessageId::Oversize);
  } else {
    m_placed.imageBytes = m_stamp->size;
  }
}

RegionBytes::~RegionBytes() = default;

// A file named as records is read as them when it starts as they do; else it is copied. Records are
// read twice: only an ordinary file can give them. False on a problem.
bool RegionBytes::OpenRecords(std::uint64_t start) {
  if (!m_stamp) {
    if (m_image->IsRegular()) return true;  // empty, as far as the system says: read as it comes
    return Fail(MessageId::RecordsNotAFile), false;
  }
  const std::optional<std::string> first = FirstBytes(*m_image);
  if (!first) return Fail(MessageId::CannotRead, true), false;
  if (!LooksLikeRecords(m_placed.imagePath, *first)) return true;
  m_placed.imageFormat = first->front() == 'S' ? OutputFormat::SRecord : OutputFormat::IntelHex;
  m_records = std::make_unique<RecordSource>(*m_image, start, m_placed.size);
  if (const RecordProblem& problem = m_records->image.Check(); problem.kind != RecordProblem::Kind::None) {
    return FailRecords(problem), false;
  }
  m_placed.imageBytes = m_records->image.ImageBytes();
  return true;
}

RegionBytes::Chunk RegionBytes::Fail(MessageId id, bool systemReason, std::vector<std::string> details) {
  m_problem = Message{id, m_placed.regionName, m_placed.imagePath, systemReason ? LastSystemError() : std::string(), {}, std::move(details)};
  return {nullptr, 0};
}

RegionBytes::Chunk RegionBytes::FailRecords(const RecordProblem& problem) {
  using Kind = RecordProblem::Kind;
  const std::string line = std::to_string(problem.line);
  switch (problem.kind) {
    case Kind::Malformed: return Fail(MessageId::RecordsMalformed, false, {line});
    case Kind::BadChecksum: return Fail(MessageId::RecordsBadChecksum, false, {line});
    case Kind::WrongCount: return Fail(MessageId::RecordsWrongCount, false, {line});
    case Kind::NoEnd: return Fail(MessageId::RecordsNoEnd);
    case Kind::Beyond4GiB: return Fail(MessageId::RecordsBeyond4GiB, false, {line});
    case Kind::OutsideRegion:
      // A region of no bytes can hold no record: as for any image file, it is too small.
      if (problem.region.end == problem.region.first) return Fail(MessageId::Oversize);
      return Fail(MessageId::RecordsOutsideRegion, false,
                  {qbase::FormatHex(problem.found.first), qbase::FormatHex(problem.found.end - 1), qbase::FormatHex(problem.region.first),
                   qbase::FormatHex(problem.region.end - 1)});
    case Kind::Conflict: return Fail(MessageId::RecordsConflict, false, {qbase::FormatHex(problem.address)});
    case Kind::Changed: return Fail(MessageId::ImageChanged);
    case Kind::CannotRead:
    case Kind::None: break;
  }
  return Fail(MessageId::CannotRead, true);
}

// A read that fails or ends early: an image cut or written while it was read changed.
MessageId RegionBytes::ReadProblem() const {
  return m_stamp && m_image->Stamp() != m_stamp ? MessageId::ImageChanged : MessageId::CannotRead;
}

// A read that failed: the system's reason is told only when the image did not change, for a change
// is no reason of the system's (the error it leaves is another call's).
RegionBytes::Chunk RegionBytes::FailReading() {
  const MessageId id = ReadProblem();
  return Fail(id, id == MessageId::CannotRead);
}

bool RegionBytes::ImageEndsHere() {
  if (!m_records) {
    char extra;
    const std::optional<size_t> more = m_image->Read(&extra, 1);
    if (!more) return FailReading(), false;
    if (*more != 0) return Fail(MessageId::ImageChanged), false;
  }
  if (m_image->Stamp() != m_stamp) return Fail(MessageId::ImageChanged), false;
  m_records.reset();
  m_image.reset();
  return true;
}

RegionBytes::Copy RegionBytes::CopyImageInto(File& output) {
  if (m_stream || m_records) return Copy::Unsupported;
  if (m_problem || m_done >= m_placed.imageBytes) return Copy::Done;
  switch (output.CopyFrom(*m_image, m_placed.imageBytes - m_done)) {
    case File::CopyResult::Unsupported: return Copy::Unsupported;
    case File::CopyResult::ReadFailed: FailReading(); return Copy::Failed;
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

// The records' bytes, gaps between them handed on as erased. The file (and the records' memory that
// the last chunk may be in) goes at the next call after the last.
RegionBytes::Chunk RegionBytes::NextFromRecords(char* buffer, size_t capacity) {
  if (m_done == m_placed.imageBytes) return ImageEndsHere() ? Next(buffer, capacity) : Chunk{nullptr, 0};
  const RecordChunk chunk = m_records->image.Next(buffer, capacity);
  if (chunk.size == 0) return FailRecords(m_records->image.Problem());
  m_done += chunk.size;
  return {chunk.data, chunk.size, chunk.erased};
}

RegionBytes::Chunk RegionBytes::Next(char* buffer, size_t capacity) {
  if (m_problem || (m_done == m_placed.size && !m_image)) return {nullptr, 0};
  if (m_records) return NextFromRecords(buffer, capacity);
  if (m_stream && m_image) return NextFromStream(buffer, capacity);
  if (m_done < m_placed.imageBytes) {
    // Exactly the checked number of bytes: an image that ends early is a failed read.
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_placed.imageBytes - m_done, capacity));
    const std::optional<size_t> got = m_image->Read(buffer, want);
    if (!got) return FailReading();
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
  if (m_records || m_done < m_placed.imageBytes) return 0;  // a gap between records
  const std::uint64_t rest = m_placed.size - m_done;
  m_done = m_placed.size;
  return rest;
}

}  // namespace quorvel
