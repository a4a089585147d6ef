#include "fuzz_bodies.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/text.h"
#include "layout/layout_check.h"
#include "layout/layout_loader.h"
#include "layout/profile.h"
#include "text/value_text.h"

namespace quorvel::fuzz {
namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

bool ValidUtf8(const std::string& text) { return qbase::Utf16ToUtf8(qbase::Utf8ToUtf16(text)) == text; }

}  // namespace

void LayoutInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ProfileFile profile = ProfileFile::Parse(bytes);
  const std::vector<RegionRow> rows = LoadLayout(profile);
  Require(rows.size() <= kRegionNames.size(), "at most one row a region");
  for (size_t i = 0; i < rows.size(); ++i) {
    Require(!rows[i].offsetText.empty(), "a row exists only with an OFFSET");
    Require(ValidUtf8(rows[i].offsetText) && ValidUtf8(rows[i].sizeText), "texts are UTF-8");
    Require(rows[i].offset == ReadHex(rows[i].offsetText).value && rows[i].size == ReadHex(rows[i].sizeText).value,
            "the numbers are their texts'");
    Require(i == 0 || rows[i - 1].offset <= rows[i].offset, "rows sorted");
  }
  CheckLayout(profile, rows);
  // A look-up of whatever the first line names: answers stay within the capacity, without NULs.
  const std::string_view query = bytes.substr(0, bytes.find('\n'));
  const size_t equals = query.find('=');
  const std::string answer = profile.Lookup(query.substr(0, equals),
                                            equals == std::string_view::npos ? "" : query.substr(equals + 1), 64);
  Require(qbase::Utf8ToUtf16(answer).size() <= 63, "answers are cut at 63 bytes");
  Require(answer.find('\0') == std::string::npos, "answers hold no NUL");
}

void HexInput(const std::uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const HexReading reading = ReadHex(text);
  // strtoll stops at a NUL as our reading stops at any character that is not a digit.
  char* end = nullptr;
  errno = 0;
  const long long wide = std::strtoll(text.c_str(), &end, 16);
  const bool fits = errno != ERANGE;
  const long long clamped = wide > INT32_MAX ? INT32_MAX : (wide < INT32_MIN ? INT32_MIN : wide);
  Require(reading.value == wide && reading.fits == fits, "the 64-bit reading agrees with strtoll, and so does its range");
  Require(reading.value32 == clamped, "the 32-bit reading agrees with strtoll saturated to 32 bits");
  Require(reading.Fits32() == (fits && clamped == wide), "a 32-bit reading differs exactly when the value does not fit 32 bits");
#ifndef _WIN32
  // msvcrt's strtoll (as Wine has it) reads no number from a "0x" that no digit follows; the C standard
  // reads its "0", as we do.
  Require(reading.rest == std::string_view(text).substr(size_t(end - text.c_str())), "the rest starts where strtoll stopped");
  Require(reading.hasDigits == (end != text.c_str()), "digits exactly when strtoll read some");
#endif
}

}  // namespace quorvel::fuzz
