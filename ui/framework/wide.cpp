#include "wide.h"

#include "text.h"

namespace qfw {

std::wstring Wide(std::string_view utf8) {
  const std::u16string wide = quorvel::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view wide) {
  return quorvel::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace qfw
