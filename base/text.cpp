#include "base/text.h"

namespace qbase {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Reads one code point at text[i], advancing i; ill-formed sequences give U+FFFD.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i]))) return kReplacement;
    cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16 in any string of 16-bit units: char16_t, and wchar_t on Windows.
template <class Units>
Units ToUtf16(std::string_view text) {
  using Unit = typename Units::value_type;
  Units out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (cp < 0x10000) {
      out += static_cast<Unit>(cp);
    } else {
      out += static_cast<Unit>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<Unit>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

template <class Unit>
std::string FromUtf16(std::basic_string_view<Unit> text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = static_cast<char16_t>(text[i]);
    const char32_t next = i + 1 < text.size() ? static_cast<char16_t>(text[i + 1]) : 0;
    if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) { return ToUtf16<std::u16string>(text); }

std::string Utf16ToUtf8(std::u16string_view text) { return FromUtf16(text); }

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Utf8ToWide(std::string_view text) { return ToUtf16<std::wstring>(text); }

std::string WideToUtf8(std::wstring_view text) { return FromUtf16(text); }
#endif

size_t DisplayWidth(std::string_view text) {
  // The wide and full-width blocks of Unicode's East Asian Width, and the marks that combine with
  // the character before them.
  constexpr struct { char32_t first, last; } kWide[] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                                                          {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                                                          {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                                                          {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    const bool combining = (cp >= 0x0300 && cp <= 0x036F) || cp == 0x3099 || cp == 0x309A || (cp >= 0x200B && cp <= 0x200F);
    bool wide = false;
    for (const auto& range : kWide) wide = wide || (cp >= range.first && cp <= range.last);
    width += combining ? 0 : wide ? 2 : 1;
  }
  return width;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

}  // namespace qbase
