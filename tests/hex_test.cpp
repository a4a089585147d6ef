#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "hex.h"

namespace quorvel {
namespace {

// strtol(text, nullptr, 16) with a 32-bit long, and strtoll's 64-bit reading of the same text.
struct HexCase {
  std::string text;
  std::int32_t value;
  std::int64_t value64;
  bool saturated = false;  // at 32 bits
  std::string rest = "";   // after the number; the whole text when there are no digits
};

class ReadHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(ReadHexTest, ReadsAsStrtolBase16) {
  const HexCase& c = GetParam();
  const HexReading reading = ReadHex(c.text);
  EXPECT_EQ(reading.value, c.value);
  EXPECT_EQ(ParseHex(c.text), c.value);
  EXPECT_EQ(ParseHex64(c.text), c.value64);
  EXPECT_EQ(reading.saturated, c.saturated);
  EXPECT_EQ(reading.rest, c.rest);
  EXPECT_EQ(reading.hasDigits, c.rest != c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadHexTest,
    ::testing::Values(
        // the ordinary forms
        HexCase{"0", 0, 0}, HexCase{"100", 0x100, 0x100}, HexCase{"0x100", 0x100, 0x100}, HexCase{"0X1aF", 0x1AF, 0x1AF},
        HexCase{"  \t\n\v\f\r40", 0x40, 0x40}, HexCase{"+7f", 0x7F, 0x7F},
        // digits end at the first other character; no digits read as 0
        HexCase{"12g4", 0x12, 0x12, false, "g4"}, HexCase{"100 ; comment", 0x100, 0x100, false, " ; comment"},
        HexCase{"", 0, 0}, HexCase{"zz", 0, 0, false, "zz"}, HexCase{"0x", 0, 0, false, "x"}, HexCase{"0xg", 0, 0, false, "xg"},
        HexCase{"-", 0, 0, false, "-"}, HexCase{"0x0x10", 0, 0, false, "x10"}, HexCase{"- 5", 0, 0, false, "- 5"},
        // negatives, down to the smallest value and past it
        HexCase{"-10", -16, -16}, HexCase{"-7FFFFFFF", -0x7FFFFFFF, -0x7FFFFFFF}, HexCase{"-80000000", INT32_MIN, INT32_MIN},
        HexCase{"-80000001", INT32_MIN, -0x80000001LL, true}, HexCase{"-FFFFFFFFFFFFFFFFFFFF", INT32_MIN, INT64_MIN, true},
        // saturation at the limits, however long the text; leading zeros do not count towards them
        HexCase{"7FFFFFFF", INT32_MAX, INT32_MAX}, HexCase{"80000000", INT32_MAX, 0x80000000LL, true},
        HexCase{"0x100000000", INT32_MAX, 0x100000000LL, true}, HexCase{"7FFFFFFFFFFFFFFF", INT32_MAX, INT64_MAX, true},
        HexCase{"0x123456789abcdef0123456789", INT32_MAX, INT64_MAX, true},
        HexCase{"000000000000000000000000000010", 0x10, 0x10}));

TEST(FormatHex, UpperCaseWithAtLeastTheDigitsAsked) {
  EXPECT_EQ(FormatHex(0x1AF), "0x1AF");
  EXPECT_EQ(FormatHex(0x1AF, 8), "0x000001AF");
  EXPECT_EQ(FormatHex(0x123456789ULL, 8), "0x123456789");
}

}  // namespace
}  // namespace quorvel
