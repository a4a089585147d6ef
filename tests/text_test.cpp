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
  // cut short, overlong '/', the first and the last encoded surrogate; a lone surrogate
  EXPECT_EQ(Utf8ToUtf16("\xC3|\xC0\xAF|\xED\xA0\x80|\xED\xBF\xBF"), u"\uFFFD|\uFFFD|\uFFFD|\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  // Columns on a terminal: kana, kanji, full-width forms and emoji two; é and ü one; a combining mark none.
  EXPECT_EQ(qbase::DisplayWidth(text + "ü 文字ｱＡ\u3099|\u0300\u036F\u200B\u200F"), 1 + 1 + 2 + 2 + 1 + 1 + 4 + 1 + 2 + 0 + 1);
  EXPECT_EQ(std::pair(qbase::DisplayWidth("\u309A"), qbase::DisplayWidth("\u309B")), (std::pair<size_t, size_t>(0, 2)));  // the sound marks
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
