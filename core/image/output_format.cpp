#include "image/output_format.h"

#include <algorithm>
#include <array>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cassert>
#include <cstring>
#include <utility>

#include "base/hex_digits.h"
#include "base/text.h"

namespace quorvel {

std::optional<OutputFormat> FormatOfExtension(std::string_view path) {
  const size_t dot = path.find_last_of("./\\");
  if (dot == std::string_view::npos || path[dot] != '.') return std::nullopt;
  const std::string extension = qbase::AsciiLower(path.substr(dot + 1));
  static const std::pair<const char*, OutputFormat> kExtensions[] = {
      {"bin", OutputFormat::Binary},   {"img", OutputFormat::Binary},   {"mot", OutputFormat::SRecord},
      {"srec", OutputFormat::SRecord}, {"s19", OutputFormat::SRecord},  {"s28", OutputFormat::SRecord},
      {"s37", OutputFormat::SRecord},  {"hex", OutputFormat::IntelHex}, {"ihex", OutputFormat::IntelHex},
      {"ihx", OutputFormat::IntelHex},
  };
  for (const auto& [name, format] : kExtensions) {
    if (extension == name) return format;
  }
  return std::nullopt;
}

OutputFormat FormatForPath(std::string_view path) { return FormatOfExtension(path).value_or(OutputFormat::Binary); }

std::optional<OutputFormat> FormatFromName(std::string_view name) {
  if (name == "bin") return OutputFormat::Binary;
  if (name == "srec") return OutputFormat::SRecord;
  if (name == "ihex") return OutputFormat::IntelHex;
  return std::nullopt;
}

std::string_view FormatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::SRecord: return "srec";
    case OutputFormat::IntelHex: return "ihex";
    case OutputFormat::Binary: break;
  }
  return "bin";
}

bool RecordsCanAddress(std::uint64_t base, std::uint64_t totalBytes) {
  constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
  return base < kAddressSpace && totalBytes <= kAddressSpace - base;
}

namespace {

constexpr size_t kBlockBytes = 32;       // data bytes in a full record; records never cross such a block
constexpr size_t kLongestLine = 96;      // an extended address line and a full data line fit with room to spare
constexpr char kHeader[] = "quorvel";    // the S-record header's text

// The two upper-case hexadecimal digits of every byte value.
constexpr std::array<std::array<char, 2>, 256> kHexPairs = [] {
  std::array<std::array<char, 2>, 256> pairs{};
  for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = {qbase::kUpperHexDigits[i >> 4], qbase::kUpperHexDigits[i & 15]};
  return pairs;
}();

// Appends the byte's digits at out, adds it to sum, and returns the end.
inline char* PutByte(char* out, unsigned byte, unsigned& sum) {
  std::memcpy(out, kHexPairs[byte & 0xFF].data(), 2);
  sum += byte;
  return out + 2;
}

// The four digits of every pair of bytes, made on first use: half the look-ups for the data.
const std::uint32_t* HexQuads() {
  static const std::unique_ptr<std::uint32_t[]> quads = [] {
    std::unique_ptr<std::uint32_t[]> q(new std::uint32_t[65536]);
    for (unsigned i = 0; i < 65536; ++i) {
      char digits[4];
      std::memcpy(digits, kHexPairs[i >> 8].data(), 2);
      std::memcpy(digits + 2, kHexPairs[i & 0xFF].data(), 2);
      std::memcpy(&q[i], digits, 4);
    }
    return q;
  }();
  return quads.get();
}

#if defined(__SSE2__)
// Sixteen bytes at a time where the processor has SSE2 (every x86-64): their 32 digits and their sum.
inline char* Put16(char* out, const unsigned char* data, unsigned& sum) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble);
  const __m128i low = _mm_and_si128(bytes, nibble);
  const auto digits = [](__m128i n) {  // '0' + n, and 7 more for the letters
    return _mm_add_epi8(_mm_add_epi8(n, _mm_set1_epi8('0')), _mm_and_si128(_mm_cmpgt_epi8(n, _mm_set1_epi8(9)), _mm_set1_epi8(7)));
  };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits(_mm_unpacklo_epi8(high, low)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), digits(_mm_unpackhi_epi8(high, low)));
  const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
  sum += static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  return out + 32;
}
#endif

inline char* PutBytes(char* out, const unsigned char* data, size_t size, unsigned& sum) {
  const std::uint32_t* quads = HexQuads();
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= size; i += 16) out = Put16(out, data + i, sum);
#endif

#include "base/text.h"
  for (; i + 2 <= size; i += 2) {
    std::memcpy(out, &quads[data[i] << 8 | data[i + 1]], 4);
    sum += data[i] + data[i + 1];
    out += 4;
  }
  return i < size ? PutByte(out, data[i], sum) : out;
}

inline char* EndLine(char* out) {
  out[0] = '\r';
  out[1] = '\n';
  return out + 2;
}

std::uint64_t Load64(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Whether one of the word's bytes is 0xFF.
bool HasErasedByte(std::uint64_t word) {
  const std::uint64_t inverted = ~word;  // a zero byte where word has 0xFF
  return ((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0;
}

}  // namespace

class RecordEncoder::Impl {
 public:
  Impl(OutputFormat format, std::uint64_t base, std::uint64_t totalBytes, Writer write)
      : m_srecord(format == OutputFormat::SRecord),
        m_base(base),
        m_totalBytes(totalBytes),
        m_write(std::move(write)),
        m_text(new char[kRecordTextPiece]) {
    assert(format != OutputFormat::Binary && RecordsCanAddress(base, totalBytes));
    const std::uint64_t last = base + (totalBytes > 0 ? totalBytes - 1 : 0);
    m_addressBytes = last > 0xFFFFFF ? 4 : last > 0xFFFF ? 3 : 2;
    if (m_srecord) SRecordLine('0', 0, reinterpret_cast<const unsigned char*>(kHeader), sizeof kHeader - 1);
  }

  bool Write(const unsigned char* data, size_t size) {
    if (size > m_totalBytes - m_position) m_ok = false;
    while (size > 0 && m_ok) {
      const std::uint64_t address = m_base + m_position;
      const size_t blockRoom = kBlockBytes - static_cast<size_t>(address % kBlockBytes);
      size_t taken;
      if (m_carried == 0 && blockRoom == kBlockBytes && size >= kBlockBytes) {
        // Whole blocks straight from the caller's bytes.
        taken = size - size % kBlockBytes;
        for (size_t at = 0; at < taken && m_ok; at += kBlockBytes) Block(address + at, data + at, kBlockBytes);
      } else {
        taken = std::min(size, blockRoom);
        std::memcpy(m_carry.data() + m_carried, data, taken);
        m_carried += taken;
        if (taken == blockRoom) EmitCarry(address + taken);
      }
      m_position += taken;
      data += taken;
      size -= taken;
    }
    return m_ok;
  }

  bool Skip(size_t size) {
    if (size > m_totalBytes - m_position) m_ok = false;
    if (m_carried > 0) EmitCarry(m_base + m_position);
    m_position += size;
    return m_ok;
  }

  bool Finish() {
    if (m_carried > 0) EmitCarry(m_base + m_position);
    if (m_srecord) {
      SRecordLine(static_cast<char>('0' + 11 - m_addressBytes), 0, nullptr, 0);
    } else {
      HexLine(0x01, 0, nullptr, 0);
    }
    Flush();
    return m_ok;
  }

 private:
  // The carried bytes, which end just before address.
  void EmitCarry(std::uint64_t end) {
    Block(end - m_carried, m_carry.data(), m_carried);
    m_carried = 0;
  }

  // Bytes that lie inside one block: a record for each run of them that is not erased flash.
  void Block(std::uint64_t address, const unsigned char* data, size_t size) {
    if (size == kBlockBytes) {
      const std::uint64_t w0 = Load64(data), w1 = Load64(data + 8), w2 = Load64(data + 16), w3 = Load64(data + 24);
      if ((w0 & w1 & w2 & w3) == ~std::uint64_t{0}) return;
      if (!HasErasedByte(w0) && !HasErasedByte(w1) && !HasErasedByte(w2) && !HasErasedByte(w3)) {
        DataRecord(static_cast<std::uint32_t>(address), data, size);
        return;
      }
    }
    for (size_t at = 0; at < size;) {
      while (at < size && data[at] == 0xFF) ++at;
      const size_t start = at;
      while (at < size && data[at] != 0xFF) ++at;
      if (at > start) DataRecord(static_cast<std::uint32_t>(address + start), data + start, at - start);
    }
  }

  void DataRecord(std::uint32_t address, const unsigned char* data, size_t size) {
    if (m_srecord) {
      SRecordLine(static_cast<char>('0' + m_addressBytes - 1), address, data, size);
      return;
    }
    const std::uint32_t upper = address >> 16;
    if (upper != m_upper) {
      const unsigned char segment[2] = {static_cast<unsigned char>(upper >> 8), static_cast<unsigned char>(upper)};
      HexLine(0x04, 0, segment, 2);
      m_upper = upper;
    }
    HexLine(0x00, static_cast<std::uint16_t>(address), data, size);
  }

  // "S", the type, the count, the address in m_addressBytes (two for the header), the data and the
  // complement of the sum.
  void SRecordLine(char type, std::uint32_t address, const unsigned char* data, size_t size) {
    const int addressBytes = type == '0' ? 2 : m_addressBytes;
    char* out = Room();
    unsigned sum = 0;
    *out++ = 'S';
    *out++ = type;
    out = PutByte(out, static_cast<unsigned>(addressBytes + size + 1), sum);
    for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) out = PutByte(out, address >> shift, sum);
    out = PutBytes(out, data, size, sum);
    out = PutByte(out, ~sum & 0xFF, sum);
    m_used = static_cast<size_t>(EndLine(out) - m_text.get());
  }

  // ":", the count, the 16-bit address, the type, the data and the two's complement of the sum.
  void HexLine(unsigned type, std::uint16_t address, const unsigned char* data, size_t size) {
    char* out = Room();
    unsigned sum = 0;
    *out++ = ':';
    out = PutByte(out, static_cast<unsigned>(size), sum);
    out = PutByte(out, address >> 8u, sum);
    out = PutByte(out, address & 0xFFu, sum);
    out = PutByte(out, type, sum);
    out = PutBytes(out, data, size, sum);
    out = PutByte(out, (0x100 - (sum & 0xFF)) & 0xFF, sum);
    m_used = static_cast<size_t>(EndLine(out) - m_text.get());
  }

  // Where the next line goes: the text is handed on first when a line might not fit.
  char* Room() {
    if (kRecordTextPiece - m_used < kLongestLine) Flush();
    return m_text.get() + m_used;
  }

  void Flush() {
    if (m_used > 0 && m_ok) m_ok = m_write(m_text.get(), m_used);
    m_used = 0;
  }

  const bool m_srecord;
  const std::uint64_t m_base;
  const std::uint64_t m_totalBytes;
  const Writer m_write;
  int m_addressBytes = 2;
  std::uint64_t m_position = 0;  // bytes of the image received
  std::array<unsigned char, kBlockBytes> m_carry{};  // the received bytes of a block not yet complete
  size_t m_carried = 0;
  std::uint32_t m_upper = 0x10000;  // of the last extended address record: none yet
  std::unique_ptr<char[]> m_text;
  size_t m_used = 0;
  bool m_ok = true;
};

RecordEncoder::RecordEncoder(OutputFormat format, std::uint64_t base, std::uint64_t totalBytes, Writer write)
    : m_impl(std::make_unique<Impl>(format, base, totalBytes, std::move(write))) {}

RecordEncoder::~RecordEncoder() = default;

bool RecordEncoder::Write(const char* data, size_t size) {
  return m_impl->Write(reinterpret_cast<const unsigned char*>(data), size);
}

bool RecordEncoder::Skip(size_t size) { return m_impl->Skip(size); }

bool RecordEncoder::Finish() { return m_impl->Finish(); }

}  // namespace quorvel
