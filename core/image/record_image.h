#pragma once
// A region's image file given as records (Motorola S-record, Intel HEX), read as the bytes its
// records describe. A record's byte at address A is the region's byte A - start, where start is the
// region's first address (base + its position in the image); bytes no record describes are 0xFF. The
// image's bytes run from the region's first byte to the last byte any record describes.
//
// Two passes over the file. Check reads all of it and finds every fault a user can hand over: a
// malformed line, a wrong checksum or record count, a file cut short, data past 4 GiB, a record
// outside the region, two records that give one address different bytes. Next then hands the bytes
// on in address order; it can fail only when the input cannot be read or has changed since.
// Memory stays within kRecordMemoryBound whatever the size of the file or the region, and the
// records may come in any order.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvel {

// A file read at any offset.
class RandomAccessInput {
 public:
  virtual ~RandomAccessInput() = default;
  // Up to size bytes from offset into buffer: how many, fewer only at the input's end (0 there);
  // none on an error.
  virtual std::optional<size_t> ReadAt(std::uint64_t offset, void* buffer, size_t size) = 0;
};

// Whether an image file's name is that of records: it ends in .mot, .srec, .s19, .s28, .s37, .hex,
// .ihex or .ihx (any letter case).
bool HasRecordName(std::string_view path);
// Whether an image file is to be read as records rather than copied: it has a record name, and the
// first of firstBytes (the file's beginning) that is no space, tab or line end is 'S' (S-record) or
// ':' (Intel HEX).
bool LooksLikeRecords(std::string_view path, std::string_view firstBytes);

// The file is read in pieces of this size.
inline constexpr size_t kRecordReadPiece = size_t{1} << 20;
// A file whose records are not in ascending address order is read one window of the region at a time.
inline constexpr size_t kRecordWindow = size_t{4} << 20;
// What a RecordImage holds at most, its buffers and tables together, whatever the file and the region.
inline constexpr size_t kRecordMemoryBound = size_t{8} << 20;

// Addresses from first up to, not including, end.
struct AddressRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
  friend bool operator==(const AddressRange&, const AddressRange&) = default;
};

// Why a file's records cannot be the region's image; the details that the kind names are set.
struct RecordProblem {
  enum class Kind {
    None,
    CannotRead,     // the input reported an error
    Malformed,      // line: a character out of place, an odd number of digits, a byte count that is not the
                    // line's, an unknown record type, a count wrong for its type, data whose last address
                    // needs more bits than its type has (S1, S2; Intel HEX segment), text after the end record
    BadChecksum,    // line
    WrongCount,     // line: an S5 or S6 record that does not count the data records before it
    NoEnd,          // the last record is no end record (S7, S8, S9; Intel HEX 01), nor in S-record a count
                    // (S5, S6): a file cut short
    Beyond4GiB,     // line: a data record whose bytes pass address 0xFFFFFFFF
    OutsideRegion,  // found: the addresses from the lowest to the highest of all data; region: the region's
    Conflict,       // address: the lowest that two records give different bytes
    Changed,        // the second pass found records other than the first's: the file changed meanwhile
  };
  Kind kind = Kind::None;
  std::uint64_t line = 0;  // from 1; a CR LF, a lone LF or a lone CR ends a line
  std::uint64_t address = 0;
  AddressRange found;
  AddressRange region;
};

// A piece of the image: data is valid until the next call.
struct RecordChunk {
  const char* data = nullptr;
  size_t size = 0;
  bool erased = false;  // no record describes these bytes: 0xFF throughout
};

class RecordImage {
 public:
  // The region's first address and its size. Reads nothing yet; input must outlive this object.
  RecordImage(RandomAccessInput& input, std::uint64_t start, std::uint64_t size);
  ~RecordImage();
  RecordImage(const RecordImage&) = delete;
  RecordImage& operator=(const RecordImage&) = delete;

  // The first pass, once, before Next: reads every record and tells the first problem found: line
  // problems in file order, then a missing end, data outside the region, conflicting records.
  const RecordProblem& Check();
  // After a Check without a problem: the image's bytes, from the region's first byte to the last byte
  // any record describes (0 when none does).
  std::uint64_t ImageBytes() const;
  // The next bytes of the image in order, at most capacity of them, written into buffer or taken from
  // the module's own memory; an empty chunk once all ImageBytes are handed on, or on a problem. Records
  // in ascending order are read again to the file's end, and must be those Check found; out of order,
  // each window's records must be, and the file's size the same. capacity > 0.
  RecordChunk Next(char* buffer, size_t capacity);
  // None until something goes wrong; nothing is handed on afterwards.
  const RecordProblem& Problem() const;
  // The memory held now for buffers and tables: at most kRecordMemoryBound.
  size_t HeldBytes() const;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace quorvel
