#pragma once
// Hexadecimal digits, read and written: the one table of them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qbase {

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";
inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
  for (int value = 0; value < 16; ++value) {
    if (c == kUpperHexDigits[value] || c == kLowerHexDigits[value]) return value;
  }
  return -1;
}

// Two lower-case digits a byte, in order: how digests are written.
std::string HexDigits(const unsigned char* bytes, size_t size);

// "0x" and the value's upper-case digits, at least minDigits of them: how addresses are written.
std::string FormatHex(std::uint64_t value, int minDigits = 1);

}  // namespace qbase
