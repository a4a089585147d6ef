#include "text/value_text.h"

#include <limits>

#include "base/hex_digits.h"

namespace quorvel {
namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

HexReading ReadHex(std::string_view text) {
  HexReading reading;
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // "0x" counts as a prefix only when a digit follows; otherwise the "0" is the number.
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && qbase::HexDigitValue(text[i + 2]) >= 0) {
    i += 2;
  }
  // The magnitude is kept just past the largest that a 64-bit value of either sign allows, so it
  // cannot overflow.
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t magnitude = 0;
  const size_t digitsAt = i;
  for (; i < text.size() && qbase::HexDigitValue(text[i]) >= 0; ++i) {
    magnitude = magnitude > kLimit / 16 ? kLimit + 1 : magnitude * 16 + std::uint64_t(qbase::HexDigitValue(text[i]));
  }
  reading.hasDigits = i > digitsAt;
  reading.rest = reading.hasDigits ? text.substr(i) : text;
  const auto saturate = [&](std::uint64_t maxPositive) -> std::int64_t {
    if (negative) return magnitude > maxPositive + 1 ? -std::int64_t(maxPositive) - 1 : std::int64_t(0 - magnitude);
    return magnitude > maxPositive ? std::int64_t(maxPositive) : std::int64_t(magnitude);
  };
  constexpr auto kMax32 = std::uint64_t{std::numeric_limits<std::int32_t>::max()};
  reading.value = saturate(kLimit - 1);
  reading.fits = magnitude <= (negative ? kLimit : kLimit - 1);
  reading.value32 = static_cast<std::int32_t>(saturate(kMax32));
  return reading;
}

}  // namespace quorvel
