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

// The format a file name asks for by its extension, in any letter case: .mot .srec .s19 .s28 .s37
// for S-record, .hex for Intel HEX, anything else the raw image.
OutputFormat FormatForPath(std::string_view path);
// "bin", "srec" or "ihex"; none for any other name.
std::optional<OutputFormat> FormatFromName(std::string_view name);
// Whether records can address every byte of an image of totalBytes whose first byte sits at base:
// the last address must fit 32 bits.
bool RecordsCanAddress(std::uint64_t base, std::uint64_t totalBytes);

// Turns the image's bytes, given in order, into records, and hands the text on in pieces to write.
class RecordEncoder {
 public:
  // Takes the text to write; false when it could not be written.
  using Writer = std::function<bool(const char* data, size_t size)>;

  // format is SRecord or IntelHex; RecordsCanAddress(base, totalBytes) holds.
  RecordEncoder(OutputFormat format, std::uint64_t base, std::uint64_t totalBytes, Writer write);
  ~RecordEncoder();
  RecordEncoder(const RecordEncoder&) = delete;
  RecordEncoder& operator=(const RecordEncoder&) = delete;

  // The next bytes of the image; false once the writer has refused text.
  bool Write(const char* data, size_t size);
  // After the image's last byte: what is pending, then the end record.
  bool Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace quorvel
