#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "hex.h"

namespace quorvel {
namespace {

struct HexCase {
  std::string text;
  std::int32_t value;
};

class ParseHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(ParseHexTest, ReadsAsStrtolBase16With32BitLong) { EXPECT_EQ(ParseHex(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseHexTest,
    ::testing::Values(
        // the ordinary forms
        HexCase{"0", 0}, HexCase{"100", 0x100}, HexCase{"0x100", 0x100}, HexCase{"0X1aF", 0x1AF},
        HexCase{"  \t\n\v\f\r40", 0x40}, HexCase{"+7f", 0x7F},
        // digits end at the first other character; no digits read as 0
        HexCase{"12g4", 0x12}, HexCase{"100 ; comment", 0x100}, HexCase{"", 0}, HexCase{"zz", 0},
        HexCase{"0x", 0}, HexCase{"0xg", 0}, HexCase{"-", 0}, HexCase{" ", 0}, HexCase{"0x0x10", 0},
        HexCase{"x10", 0}, HexCase{"- 5", 0},
        // negatives
        HexCase{"-10", -16}, HexCase{"-0x1", -1}, HexCase{"-80000000", INT32_MIN},
        // saturation at the 32-bit limits, however long the text
        HexCase{"7FFFFFFF", INT32_MAX}, HexCase{"80000000", INT32_MAX}, HexCase{"FFFFFFFF", INT32_MAX},
        HexCase{"100000000", INT32_MAX}, HexCase{"0x123456789abcdef0123456789", INT32_MAX},
        HexCase{"-80000001", INT32_MIN}, HexCase{"-FFFFFFFFFFFFFFFFFFFF", INT32_MIN},
        // leading zeros do not count towards the range
        HexCase{"000000000000000000000000000010", 0x10}));

}  // namespace
}  // namespace quorvel
