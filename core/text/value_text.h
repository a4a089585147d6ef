#pragma once
// Value texts of the layout file (OFFSET, SIZE) read as numbers.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// strtoll(text, nullptr, 16) on every host: optional leading white space, an optional sign, an
// optional "0x" or "0X", then hexadecimal digits up to the first other character; 0 when there are
// no digits. And what a layout check wants to know of the text besides.
struct HexReading {
  std::int64_t value = 0;    // saturated at INT64_MAX or INT64_MIN when the number does not fit
  bool fits = true;          // the number fits 64 signed bits
  std::int32_t value32 = 0;  // strtol's reading with a 32-bit long: saturated at INT32_MAX or INT32_MIN
  bool hasDigits = false;
  std::string_view rest;     // the text after the number
  // Whether a tool that reads 32 bits takes the number as it is.
  bool Fits32() const { return value32 == value; }
};
HexReading ReadHex(std::string_view text);

}  // namespace quorvel
