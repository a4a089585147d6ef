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

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

}  // namespace qbase
