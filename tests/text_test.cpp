#include <gtest/gtest.h>

#include <string>

#include "cp932.h"
#include "text.h"

namespace quorvel {
namespace {

TEST(Utf8Utf16, RoundTripsEveryPlaneAndReplacesWhatIsIllFormed) {
  const std::string text = "a\xC3\xA9\xE3\x83\x9F\xF0\x9F\x98\x80";  // a, é, ミ, U+1F600
  EXPECT_EQ(Utf8ToUtf16(text), (std::u16string{u'a', 0x00E9, 0x30DF, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  // cut short, overlong '/', an encoded surrogate; a lone surrogate
  EXPECT_EQ(Utf8ToUtf16("\xC3|\xC0\xAF|\xED\xA0\x80"), u"\uFFFD|\uFFFD|\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

struct Cp932Case {
  const char* what;
  std::string bytes;
  std::u16string text;
};

TEST(Cp932, DecodesAsWindowsDoes) {
  const Cp932Case cases[] = {
      {"ASCII, backslash and tilde unchanged", "a\\~", u"a\\~"},
      {"double-byte", "\x83\x7E\x83\x8B\x83\x65\x83\x4A", u"ミルテカ"},
      {"trail byte 0x5C", "\x95\x5C", u"表"},
      {"half-width katakana", "\xB1", u"\uFF71"},
      {"invalid pair", "\x82\x20", u"\u30FB"},
      {"lead byte swallows a CR", "x\x82\rz", u"x\u30FBz"},
      {"lead byte at the end", "x\x82", u"x\u30FB"},
      {"undefined single bytes", "\x80\xA0\xFD\xFE\xFF", u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3"},
  };
  for (const Cp932Case& c : cases) EXPECT_EQ(DecodeCp932(c.bytes), c.text) << c.what;
}

TEST(Cp932, EncodesWithWindowsPreferencesAndBestFit) {
  EXPECT_EQ(EncodeCp932(u"ミルテカ"), "\x83\x7E\x83\x8B\x83\x65\x83\x4A");
  EXPECT_EQ(EncodeCp932(u"\u2170"), "\xFA\x40");  // small roman one: IBM extension, not NEC-selected
  EXPECT_EQ(EncodeCp932(u"\u2160"), "\x87\x54");  // roman one: NEC row 13
  EXPECT_EQ(EncodeCp932(u"\uFFE2"), "\x81\xCA");  // not sign: JIS row 2
  EXPECT_EQ(EncodeCp932(u"caf\u00E9 \u00FC\u20AC"), "cafe u?");
  EXPECT_EQ(EncodeCp932(u"\U0001F600"), "??");
  EXPECT_EQ(EncodeCp932(u"\u00D7"), "\x81\x7E");  // a Latin-1 character that the code page has
  EXPECT_EQ(EncodeCp932(u"\uFF61\uFF9F"), "\xA1\xDF");  // the first and the last half-width katakana
}

TEST(Cp932, EncodesOnlyWholeCharactersWithinTheLimit) {
  EXPECT_EQ(EncodeCp932(u"aミ", 2), "a");
  EXPECT_EQ(EncodeCp932(u"aミ", 3), "a\x83\x7E");
  EXPECT_EQ(EncodeCp932(u"abc", 0), "");
}

TEST(Cp932, EveryDefinedDoubleByteCharacterRoundTrips) {
  int checked = 0;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string bytes{char(lead), char(trail)};
      const std::u16string text = DecodeCp932(bytes);
      ASSERT_EQ(text.size(), 1u);
      if (text[0] == 0x30FB && bytes != "\x81\x45") continue;  // undefined pair
      const std::string again = EncodeCp932(text);
      // Duplicated characters come back as the preferred code, which decodes to the same text.
      EXPECT_EQ(DecodeCp932(again), text) << std::hex << lead << ' ' << trail;
      ++checked;
    }
  }
  EXPECT_GT(checked, 7000);
}

}  // namespace
}  // namespace quorvel
