#pragma once
// The bytes that one region row contributes to the image: its image file's bytes, then 0xFF up to
// the region's size. Read in pieces, so a region of any size needs one buffer. An image file given
// as records (Motorola S-record, Intel HEX) gives the bytes its records describe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "files/file.h"
#include "image/output_format.h"
#include "layout/region_row.h"
#include "text/messages.h"

namespace quorvel {

struct RecordProblem;

// Where one region landed in the image.
struct PlacedRegion {
  std::string regionName;
  std::string offsetText;
  std::string imagePath;
  std::uint64_t position = 0;    // first byte of the region in the image
  std::uint64_t size = 0;
  std::uint64_t imageBytes = 0;  // taken from the image file (records: up to the last byte they describe); the rest is 0xFF
  std::optional<OutputFormat> imageFormat;  // how the image file was read: its bytes, or records; none without one
};

// Regions are read, written and compared through one buffer of this size, whatever their size.
inline constexpr size_t kStreamBufferSize = size_t{4} << 20;

// Where the region after row starts, row starting at position: UINT64_MAX past that, which no image
// reaches.
std::uint64_t NextPosition(std::uint64_t position, const RegionRow& row);

// Why a row gives no bytes at all: a number that does not mean what its text says. None for a sound row.
std::optional<Message> RowProblem(const RegionRow& row);

class RegionBytes {
 public:
  // Opens the row's image file. An ordinary file whose name and first bytes are those of records is
  // read as records: a byte at address A is the region's byte A - (base + position), and the records
  // are read through and checked here, so that a fault in them is the problem before any byte is
  // handed on. Any other file is checked, where the system knows its size, against the region's; an
  // image whose size the system does not know in advance (a pipe, a device, a system file that says
  // 0) is read as a stream: to its end, or until it passes the region's size. Records are read twice,
  // so they cannot come from a pipe. The file is held until its bytes are all handed on.
  RegionBytes(const RegionRow& row, std::uint64_t position, std::uint64_t base = 0);
  ~RegionBytes();
  RegionBytes(const RegionBytes&) = delete;
  RegionBytes& operator=(const RegionBytes&) = delete;

  // None until something goes wrong: then the message that tells the user why, with the file and
  // the system's reason, or the layout's entry at fault. The region is unusable afterwards.
  const std::optional<Message>& Problem() const { return m_problem; }
  // imageBytes is known once the region is complete, or from the start for a file whose size the
  // system knows and for records.
  const PlacedRegion& Placed() const { return m_placed; }

  // The next bytes of the region, read into buffer or taken from a block of 0xFF; none once the
  // region is complete or on a problem.
  struct Chunk {
    const char* data;
    size_t size;
    bool erased = false;  // 0xFF throughout: the region's fill, or a gap that no record describes
  };
  Chunk Next(char* buffer, size_t capacity);
  // After a chunk of erased bytes: the erased bytes that follow it at once, taken as written, so that
  // the output can take them in one piece: the rest of the region once the image's bytes are all
  // handed on, else none.
  std::uint64_t TakeFill();

  // Copies the image file's bytes into output inside the system, where the system can: Unsupported
  // when it cannot, with nothing consumed (Next then reads them). A failure sets the problem.
  enum class Copy { Done, Unsupported, Failed, WriteFailed };
  Copy CopyImageInto(File& output);

 private:
  class RecordSource;
  Chunk Fail(MessageId id, bool systemReason = false, std::vector<std::string> details = {});
  bool OpenRecords(std::uint64_t start);
  Chunk FailRecords(const RecordProblem& problem);
  Chunk NextFromStream(char* buffer, size_t capacity);
  Chunk NextFromRecords(char* buffer, size_t capacity);
  MessageId ReadProblem() const;
  Chunk FailReading();
  // After the image's bytes: an image that has grown or was written since its size was checked is
  // not the file the user chose.
  bool ImageEndsHere();

  PlacedRegion m_placed;
  std::optional<File> m_image;  // open until the region's image bytes are all read
  std::optional<FileStamp> m_stamp;
  std::unique_ptr<RecordSource> m_records;  // reads m_image, while its bytes are handed on
  bool m_stream = false;
  std::uint64_t m_done = 0;
  std::optional<Message> m_problem;
};

}  // namespace quorvel
