#pragma once
// The forms in which the image can be written: its raw bytes, or the records that flash programmers
// and debuggers load (Motorola S-record, Intel HEX), which carry the image's bytes at their addresses
// and leave out erased flash (0xFF).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace quorvel {

enum class OutputFormat { Binary, SRecord, IntelHex };

// The format that a file name's extension names, in any letter case: .bin and .img the raw image,
// .mot .srec .s19 .s28 .s37 S-record, .hex .ihex .ihx Intel HEX; none for any other extension.
std::optional<OutputFormat> FormatOfExtension(std::string_view path);
// The same, the raw image when the extension names none.
OutputFormat FormatForPath(std::string_view path);
// "bin", "srec" or "ihex"; none for any other name.
std::optional<OutputFormat> FormatFromName(std::string_view name);
// The name of a format: "bin", "srec" or "ihex".
std::string_view FormatName(OutputFormat format);
// Whether records can address every byte of an image of totalBytes whose first byte sits at base:
// the last address must fit 32 bits.
bool RecordsCanAddress(std::uint64_t base, std::uint64_t totalBytes);

// The encoder hands its text on in pieces of this size (the last one shorter): its only buffer.
inline constexpr size_t kRecordTextPiece = size_t{1} << 19;

// Turns the image's bytes, given in order, into records, and hands the text on in pieces to write.
// - Every byte other than 0xFF goes into a data record at base + its position; no 0xFF byte does.
// - A data record holds one run of such bytes inside one 32-byte block of the address space (the
//   block starting at a multiple of 32), so records never cross a 64 KiB boundary.
// - S-record: the header "quorvel", then S1, S2 or S3 data records as the image's last address needs
//   16, 24 or 32 bits, then the matching S9, S8 or S7 end record with address 0.
// - Intel HEX: an extended linear address record before the first data record and whenever the
//   upper 16 bits of the address change, then the end-of-file record.
// - Upper-case hexadecimal digits; every line ends in CR LF.
// The text is what `srec_cat IMAGE -binary -offset BASE -unfill 0xFF -o OUT -motorola` (or -intel)
// `-obs=32 -output-block-alignment -crlf` writes, with for S-record in addition `-disable=data-count`
// `-execution-start-address=0 -header quorvel -address-length=N` (N = 2, 3 or 4 bytes as above).
class RecordEncoder {
 public:
  // Takes the text to write; false when it could not be written.
  using Writer = std::function<bool(const char* data, size_t size)>;

  // format is SRecord or IntelHex; RecordsCanAddress(base, totalBytes) holds. Writes nothing yet.
  RecordEncoder(OutputFormat format, std::uint64_t base, std::uint64_t totalBytes, Writer write);
  ~RecordEncoder();
  RecordEncoder(const RecordEncoder&) = delete;
  RecordEncoder& operator=(const RecordEncoder&) = delete;

  // The next bytes of the image, in pieces of any size; false once the writer has refused text, and
  // for bytes beyond totalBytes (which records could not address).
  bool Write(const char* data, size_t size);
  // The next size bytes are erased flash (0xFF), known to be so: nothing to look at, nothing to write.
  bool Skip(size_t size);
  // After the image's last byte: what is pending, then the end record.
  bool Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace quorvel
