#pragma once
// UTF-8 inside, UTF-16 at the edge: the one place where the two meet, for the core and the framework
// alike. The columns a text takes on a terminal. And the ASCII letters' case, by which names compare.

#include <string>
#include <string_view>
#include <type_traits>

namespace qbase {

// Ill-formed input never fails: each bad sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

#ifdef _WIN32
// The same for the Windows wide strings, which are UTF-16: what the ...W functions take and give.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
#endif

// The columns that text takes on a terminal: two for an East Asian wide or full-width character
// (kana, kanji, full-width forms), none for a combining mark, one for any other.
size_t DisplayWidth(std::string_view text);

// The ASCII letters in lower case, every other character as it is: how names compare without regard
// to case (the profile look-up's rule, and the region names').
template <class Char>
  requires std::is_integral_v<Char>
constexpr Char AsciiLower(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c + ('a' - 'A')) : c;
}
std::string AsciiLower(std::string_view text);

}  // namespace qbase
