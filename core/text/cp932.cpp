#include "text/cp932.h"

#include <array>
#include <memory>

namespace quorvel {
namespace {

// The double-byte half of the code page, generated: rows for the lead bytes 0x81-0x9F then
// 0xE0-0xFC, columns for the trail bytes 0x40-0xFC.
constexpr char16_t kCp932DoubleByte[60][189] = {
#include "text/cp932_table.inc"
};

constexpr char16_t kDefaultChar = 0x30FB;  // KATAKANA MIDDLE DOT, 0x81 0x45
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailLast = 0xFC;

bool IsLeadByte(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
int LeadIndex(unsigned lead) { return lead <= 0x9F ? int(lead - 0x81) : int(lead - 0xE0 + 0x1F); }
unsigned LeadByte(int index) { return index < 0x1F ? 0x81 + index : 0xE0 + (index - 0x1F); }

// Single bytes that Windows maps into the private use area so that they survive a round trip.
char16_t DecodeSingle(unsigned b) {
  if (b < 0x80) return char16_t(b);
  if (b >= 0xA1 && b <= 0xDF) return char16_t(0xFF61 + (b - 0xA1));  // half-width katakana
  if (b == 0x80) return 0x0080;
  if (b == 0xA0) return 0xF8F0;
  return char16_t(0xF8F1 + (b - 0xFD));  // 0xFD-0xFF
}

// Base letters of U+00C0-U+017F where the character has one; '?' elsewhere.
constexpr std::string_view kLatinBestFit =
    "AAAAAA?CEEEEIIII?NOOOOO??UUUUY??aaaaaa?ceeeeiiii?nooooo??uuuuy?y"
    "AaAaAaCcCcCcCcDd??EeEeEeEeEeGgGgGgGgHh??IiIiIiIiI???JjKk?LlLlLl????"
    "NnNnNn???OoOoOo??RrRrRrSsSsSsSsTtTt??UuUuUuUuUuUuWwYyYZzZzZz?";
static_assert(kLatinBestFit.size() == 0x180 - 0xC0);

// UTF-16 unit to double-byte code, 0 where there is none. Where several codes decode to the same
// character, Windows encodes the lowest one, except that the NEC-selected IBM extensions
// (0xED40-0xEEFC) yield to the IBM extensions (0xFA40-0xFC4B).
class EncodeTable {
 public:
  EncodeTable() : m_codes(std::make_unique<std::array<unsigned short, 0x10000>>()) {
    m_codes->fill(0);
    for (int lead = 0; lead < 60; ++lead) {
      for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
        const char16_t unit = kCp932DoubleByte[lead][trail - kTrailFirst];
        if (unit == 0) continue;
        const auto code = static_cast<unsigned short>(LeadByte(lead) << 8 | trail);
        unsigned short& slot = (*m_codes)[unit];
        if (slot == 0 || IsNecSelected(slot)) slot = code;
      }
    }
  }
  unsigned short operator[](char16_t unit) const { return (*m_codes)[unit]; }

 private:
  static bool IsNecSelected(unsigned short code) { return code >= 0xED40 && code <= 0xEEFC; }
  std::unique_ptr<std::array<unsigned short, 0x10000>> m_codes;
};

const EncodeTable& Encoder() {
  static const EncodeTable table;
  return table;
}

// The bytes of one UTF-16 unit.
std::string EncodeUnit(char16_t unit) {
  if (unit < 0x80) return std::string(1, char(unit));
  if (unit >= 0xFF61 && unit <= 0xFF9F) return std::string(1, char(0xA1 + (unit - 0xFF61)));
  if (unit == 0x0080) return "\x80";
  if (unit == 0xF8F0) return "\xA0";
  if (unit >= 0xF8F1 && unit <= 0xF8F3) return std::string(1, char(0xFD + (unit - 0xF8F1)));
  if (const unsigned short code = Encoder()[unit]) {
    return {char(code >> 8), char(code & 0xFF)};
  }
  if (unit >= 0xC0 && unit < 0x180) return std::string(1, kLatinBestFit[unit - 0xC0]);
  return "?";
}

}  // namespace

std::u16string DecodeCp932(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (!IsLeadByte(b)) {
      out += DecodeSingle(b);
      continue;
    }
    if (i + 1 >= bytes.size()) {
      out += kDefaultChar;
      break;
    }
    const auto trail = static_cast<unsigned char>(bytes[++i]);
    char16_t unit = 0;
    if (trail >= kTrailFirst && trail <= kTrailLast) unit = kCp932DoubleByte[LeadIndex(b)][trail - kTrailFirst];
    out += unit != 0 ? unit : kDefaultChar;
  }
  return out;
}

std::string EncodeCp932(std::u16string_view text, size_t maxBytes) {
  std::string out;
  for (const char16_t unit : text) {
    const std::string bytes = EncodeUnit(unit);
    if (out.size() + bytes.size() > maxBytes) break;
    out += bytes;
  }
  return out;
}

}  // namespace quorvel
