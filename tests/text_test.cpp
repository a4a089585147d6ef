#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "text/cp932.h"

namespace quorvel {
namespace {

using qbase::Utf16ToUtf8;
using qbase::Utf8ToUtf16;

TEST(Utf8Utf16, RoundTripsEveryPlaneAndReplacesWhatIsIllFormed) {
  const std::string text = "a\xC3\xA9\xE3\x83\x9F\xF0\x9F\x98\x80";  // a, é, ミ, U+1F600
  EXPECT_EQ(Utf8ToUtf16(text), (std::u16string{u'a', 0x00E9, 0x30DF, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  // cut short, overlong '/', an encoded surrogate; a lone surrogate
  EXPECT_EQ(Utf8ToUtf16("\xC3|\xC0\xAF|\xED\xA0\x80"), u"\uFFFD|\uFFFD|\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  // Columns on a terminal: kana, kanji, full-width forms and emoji two; é and ü one; a combining mark none.
  EXPECT_EQ(qbase::DisplayWidth(text + "ü 文字ｱＡ\u3099|\u0300\u036F\u200B\u200F"), 1 + 1 + 2 + 2 + 1 + 1 + 4 + 1 + 2 + 0 + 1);
  // The first and last assigned characters of each wide block of Unicode's East Asian Width, and
  // narrow ones beside them.
  const auto width = [](char32_t cp) {
    const char16_t high = char16_t(0xD800 + ((cp - 0x10000) >> 10)), low = char16_t(0xDC00 + (cp & 0x3FF));
    return qbase::DisplayWidth(Utf16ToUtf8(cp < 0x10000 ? std::u16string(1, char16_t(cp)) : std::u16string{high, low}));
  };
  for (const char32_t cp : {0x1100, 0x115F, 0x2E80, 0x303E, 0x3041, 0x33FF, 0x3400, 0x4DBF, 0x4E00, 0x9FFF, 0xA000, 0xA4C6, 0xAC00, 0xD7A3,
                            0xF900, 0xFAFF, 0xFE30, 0xFE4F, 0xFF01, 0xFF60, 0xFFE0, 0xFFE6, 0x1F300, 0x1F64F, 0x1F9FF, 0x20000, 0x3FFFD}) {
    EXPECT_EQ(width(cp), 2u) << std::hex << unsigned(cp);
  }
  for (const char32_t cp : {0x10FF, 0x1160, 0x2E7F, 0x303F, 0x4DC0, 0xA4D0, 0xD7B0, 0xFB00, 0xFE2F, 0xFF61, 0xFFE8, 0x1F2FF, 0x1F650, 0x3FFFE}) {
    EXPECT_EQ(width(cp), 1u) << std::hex << unsigned(cp);
  }
}

TEST(Cp932, ConvertsAsWindowsDoes) {
  // What the recorded look-ups do not show: the single bytes of half-width katakana and those that are undefined.
  EXPECT_EQ(DecodeCp932("\xB1\x80\xA0\xFD\xFE\xFF"), u"\uFF71\u0080\uF8F0\uF8F1\uF8F2\uF8F3");
  // Windows' preferences among duplicates, best fit, and only whole characters within the limit.
  const struct { std::u16string text; std::string bytes; size_t limit = std::string::npos; } encoded[] = {
      {u"\u2170", "\xFA\x40"},  // small roman one: IBM extension, not NEC-selected
      {u"\u2160", "\x87\x54"},  // roman one: NEC row 13
      {u"\uFFE2", "\x81\xCA"},  // not sign: JIS row 2
      {u"caf\u00E9 \u00FC\u20AC", "cafe u?"}, {u"\U0001F600", "??"},
      {u"\u00D7", "\x81\x7E"},                // a Latin-1 character that the code page has
      {u"\uFF61\uFF9F", "\xA1\xDF"},          // the first and the last half-width katakana
      {u"aミ", "a", 2}, {u"aミ", "a\x83\x7E", 3}, {u"abc", "", 0}};
  for (const auto& c : encoded) EXPECT_EQ(EncodeCp932(c.text, c.limit), c.bytes) << c.bytes;
}

}  // namespace
}  // namespace quorvel
