#pragma once
// Value texts of the layout file (OFFSET, SIZE) read as numbers.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// strtol(text, nullptr, 16) with a 32-bit long, on every host: optional leading white space, an
// optional sign, an optional "0x" or "0X", then hexadecimal digits up to the first other
// character; 0 when there are no digits. Out-of-range text saturates at INT32_MAX or INT32_MIN.
std::int32_t ParseHex(std::string_view text);

// strtoll(text, nullptr, 16): the same reading at 64 bits, saturating at INT64_MAX or INT64_MIN. The
// sort key of an offset, so that regions at 2 GiB and beyond keep their order.
std::int64_t ParseHex64(std::string_view text);

// The same reading, with what a layout check wants to know about the text.
struct HexReading {
  std::int32_t value = 0;
  std::int64_t value64 = 0;
  bool hasDigits = false;
  bool saturated = false;      // the number does not fit 32 signed bits
  std::string_view rest;       // the text after the number
};
HexReading ReadHex(std::string_view text);

}  // namespace quorvel
