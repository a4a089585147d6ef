#include "base/hex_digits.h"

namespace qbase {

std::string HexDigits(const unsigned char* bytes, size_t size) {
  std::string text;
  text.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    text += kLowerHexDigits[bytes[i] >> 4];
    text += kLowerHexDigits[bytes[i] & 0xF];
  }
  return text;
}

std::string FormatHex(std::uint64_t value, int minDigits) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kUpperHexDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (digits.size() < static_cast<size_t>(minDigits)) digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  return "0x" + digits;
}

}  // namespace qbase
