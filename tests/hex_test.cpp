#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "hex.h"

namespace quorvel {
namespace {

// strtol(text, nullptr, 16) with a 32-bit long, and strtoll's 64-bit reading of the same text; whether
// the 32-bit value saturated, and what follows the number (the whole text when there are no digits).
TEST(ReadHex, ReadsAsStrtolBase16) {
  struct { std::string text; std::int32_t value; std::int64_t value64; bool saturated = false; std::string rest{}; } cases[] = {
      // the ordinary forms
      {"0", 0, 0}, {"100", 0x100, 0x100}, {"0X1aF", 0x1AF, 0x1AF}, {"  \t\n\v\f\r40", 0x40, 0x40}, {"+7f", 0x7F, 0x7F},
      // digits end at the first other character; no digits read as 0
      {"12g4", 0x12, 0x12, false, "g4"}, {"100 ; comment", 0x100, 0x100, false, " ; comment"}, {"", 0, 0}, {"zz", 0, 0, false, "zz"},
      {"0x", 0, 0, false, "x"}, {"0xg", 0, 0, false, "xg"}, {"-", 0, 0, false, "-"}, {"0x0x10", 0, 0, false, "x10"}, {"- 5", 0, 0, false, "- 5"},
      // negatives, down to the smallest value and past it
      {"-10", -16, -16}, {"-7FFFFFFF", -0x7FFFFFFF, -0x7FFFFFFF}, {"-80000000", INT32_MIN, INT32_MIN},
      {"-80000001", INT32_MIN, -0x80000001LL, true}, {"-FFFFFFFFFFFFFFFFFFFF", INT32_MIN, INT64_MIN, true},
      // saturation at the limits, however long the text; leading zeros do not count towards them
      {"7FFFFFFF", INT32_MAX, INT32_MAX}, {"80000000", INT32_MAX, 0x80000000LL, true},
      {"0x100000000", INT32_MAX, 0x100000000LL, true}, {"7FFFFFFFFFFFFFFF", INT32_MAX, INT64_MAX, true},
      {"0x123456789abcdef0123456789", INT32_MAX, INT64_MAX, true}, {"000000000000000000000000000010", 0x10, 0x10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const HexReading reading = ReadHex(c.text);
    EXPECT_EQ(reading.value, c.value);
    EXPECT_EQ(ParseHex(c.text), c.value);
    EXPECT_EQ(ParseHex64(c.text), c.value64);
    EXPECT_EQ(reading.saturated, c.saturated);
    EXPECT_EQ(reading.rest, c.rest);
    EXPECT_EQ(reading.hasDigits, c.rest != c.text);
  }
  EXPECT_EQ(FormatHex(0x123456789ULL, 8), "0x123456789");  // never cut to the digits asked
}

}  // namespace
}  // namespace quorvel
