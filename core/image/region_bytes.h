#pragma once
// The bytes that one region row contributes to the image: its image file's bytes, then 0xFF up to
// the region's size. Read in pieces, so a region of any size needs one buffer.

#include <cstdint>
#include <optional>
#include <string>

#include "files/file.h"
#include "layout/region_row.h"
#include "text/messages.h"

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

// Regions are read, written and compared through one buffer of this size, whatever their size.
inline constexpr size_t kStreamBufferSize = size_t{4} << 20;

class RegionBytes {
 public:
  // Opens the row's image file and, where the system knows the file's size, checks it against the
  // region's. An image whose size the system does not know in advance (a pipe, a device, a system
  // file that says 0) is read as a stream: to its end, or until it passes the region's size.
  RegionBytes(const RegionRow& row, std::uint64_t position);

  // None until something goes wrong: then the message that tells the user why, with the file and
  // the system's reason, or the layout's entry at fault. The region is unusable afterwards.
  const std::optional<Message>& Problem() const { return m_problem; }
  // imageBytes is known once the region is complete.
  const PlacedRegion& Placed() const { return m_placed; }

  // The next bytes of the region, read into buffer or taken from a block of 0xFF; none once the
  // region is complete or on a problem.
  struct Chunk {
    const char* data;
    size_t size;
    bool erased = false;  // 0xFF throughout: the region's fill
  };
  Chunk Next(char* buffer, size_t capacity);
  // Once Next has given a chunk of fill: the rest of the region's fill, taken as written, so that the
  // output can take it in one piece.
  std::uint64_t TakeFill();

  // Copies the image file's bytes into output inside the system, where the system can: Unsupported
  // when it cannot, with nothing consumed (Next then reads them). A failure sets the problem.
  enum class Copy { Done, Unsupported, Failed, WriteFailed };
  Copy CopyImageInto(File& output);

 private:
  Chunk Fail(MessageId id, bool systemReason = false);
  Chunk NextFromStream(char* buffer, size_t capacity);
  MessageId ReadProblem() const;
  // After the image's bytes: an image that has grown or was written since its size was checked is
  // not the file the user chose.
  bool ImageEndsHere();

  PlacedRegion m_placed;
  std::optional<File> m_image;  // open until the region's image bytes are all read
  std::optional<FileStamp> m_stamp;
  bool m_stream = false;
  std::uint64_t m_done = 0;
  std::optional<Message> m_problem;
};

}  // namespace quorvel
