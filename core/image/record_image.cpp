#include "image/record_image.h"

#include <algorithm>
#include <array>
#include <cassert>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "files/file.h"
#include "image/output_format.h"

namespace quorvel {
namespace {

constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;
// The longest record line without its end: ':', then the count, address, type, 255 data bytes and
// the checksum as digits (an S-record line is shorter).
constexpr size_t kLongestRecord = 1 + 2 * (1 + 2 + 1 + 255 + 1);
// A gap between records at least this long is handed on as erased bytes rather than written out.
constexpr std::uint64_t kErasedRun = std::uint64_t{64} << 10;
// The records of one window that lie at most this far apart in the file are read as one piece of it;
// the distance doubles whenever the pieces would pass kMaxSegments.
constexpr std::uint64_t kFirstSlack = std::uint64_t{16} << 10;
constexpr size_t kMaxSegments = 4096;
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

constexpr unsigned kNoDigit = 0xF0;
constexpr std::array<unsigned char, 256> kDigitValue = [] {
  std::array<unsigned char, 256> value{};
  value.fill(kNoDigit);
  for (unsigned i = 0; i < 10; ++i) value['0' + i] = static_cast<unsigned char>(i);
  for (unsigned i = 0; i < 6; ++i) value['A' + i] = value['a' + i] = static_cast<unsigned char>(10 + i);
  return value;
}();

// The byte that two digits spell; a character that is no digit sets kNoDigit bits in bad.
inline unsigned Pair(const unsigned char* text, unsigned& bad) {
  const unsigned high = kDigitValue[text[0]], low = kDigitValue[text[1]];
  bad |= high | low;
  return (high << 4 | low) & 0xFF;
}

#if defined(__SSE2__)
// The values of 16 digits (0 to 15 each); false when one is no digit.
inline bool Digits16(const unsigned char* text, __m128i& values) {
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));  // letters in lower case, digits as they are
  const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
  const __m128i isLetter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
  values = _mm_or_si128(_mm_and_si128(isDigit, _mm_sub_epi8(c, _mm_set1_epi8('0'))),
                        _mm_and_si128(isLetter, _mm_sub_epi8(lower, _mm_set1_epi8('a' - 10))));
  return _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) == 0xFFFF;
}

// Eight pairs of digit values as eight bytes, each in the low half of a 16-bit lane.
inline __m128i Bytes8(__m128i values) {
  return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(values, 4), _mm_set1_epi16(0xF0)), _mm_srli_epi16(values, 8));
}
#endif

// count bytes from twice as many digits into out; their sum is added to sum. False on a non-digit.
bool Decode(const unsigned char* text, size_t count, unsigned char* out, unsigned& sum) {
  unsigned bad = 0, total = 0;
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= count; i += 16) {
    __m128i first, second;
    if (!Digits16(text + 2 * i, first) || !Digits16(text + 2 * i + 16, second)) return false;
    const __m128i bytes = _mm_packus_epi16(Bytes8(first), Bytes8(second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
    total += static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; i < count; ++i) {
    const unsigned byte = Pair(text + 2 * i, bad);
    out[i] = static_cast<unsigned char>(byte);
    total += byte;
  }
  sum += total;
  return (bad & kNoDigit) == 0;
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t'; }

// A fingerprint of a data record, summed over records so that any order gives the same total.
std::uint64_t RecordHash(std::uint64_t address, size_t size, unsigned checksum) {
  std::uint64_t x = address ^ (std::uint64_t{size} << 40) ^ (std::uint64_t{checksum} << 52);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
  return x ^ (x >> 31);
}

enum class Format { Unknown, SRecord, IntelHex };

// What an Intel HEX data record's address depends on: the last extended address record.
struct HexState {
  std::uint32_t base = 0;
  bool segment = false;  // an extended segment address: the offset may not pass the segment's 64 KiB
};

// Reads the records of a part of the file, line by line, through one buffer.
class RecordReader {
 public:
  enum class Result { Data, Other, End, Problem };
  struct Data {
    std::uint64_t address = 0;
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    unsigned checksum = 0;
    std::uint64_t lineStart = 0;  // file offsets of the record's text
    std::uint64_t lineEnd = 0;
  };

  explicit RecordReader(RandomAccessInput& input) : m_input(input) {}

  // The whole file when whole: lines numbered, record counts checked, nothing allowed after the end
  // record. Else the records whose text lies in [begin, end), read with the state found there before.
  void Open(std::uint64_t begin, std::uint64_t end, Format format, HexState state, bool whole) {
    if (!m_buffer) m_buffer.reset(new unsigned char[kRecordReadPiece]);
    m_offset = begin;
    m_rangeEnd = end;
    m_pos = m_end = 0;
    m_format = format;
    m_state = state;
    m_whole = whole;
    m_inputEnded = m_failed = m_ended = m_closed = m_afterCR = m_recordOnLine = false;
    m_line = 1;
    m_dataRecords = 0;
  }

  // The next record; End at the end of the part read (or of the file).
  Result Next() {
    for (;;) {
      if (m_pos == m_end && !Fill(1)) return m_failed ? Fail(RecordProblem::Kind::CannotRead) : Result::End;
      const unsigned char c = m_buffer[m_pos];
      if (c == '\r' || c == '\n') {
        if (c == '\r' || !m_afterCR) ++m_line;
        m_afterCR = c == '\r';
        m_recordOnLine = false;
        ++m_pos;
      } else if (IsBlank(c)) {
        m_afterCR = false;
        ++m_pos;
      } else {
        m_afterCR = false;
        if (m_recordOnLine || m_ended) return Fail(RecordProblem::Kind::Malformed);
        return Record();
      }
    }
  }

  const Data& Current() const { return m_data; }
  HexState State() const { return m_state; }
  Format FileFormat() const { return m_format; }
  const RecordProblem& Problem() const { return m_problem; }
  // Whether the last record was an end record, or in S-record a count: no file cut short at a line's end.
  bool Closed() const { return m_closed; }
  // After End: where reading stopped (for the whole file, its size).
  std::uint64_t Offset() const { return m_offset + m_end; }
  size_t HeldBytes() const { return m_buffer ? kRecordReadPiece : 0; }

 private:
  // Makes want bytes available from m_pos where the part read holds them; whether any is.
  bool Fill(size_t want) {
    if (m_end - m_pos >= want) return true;
    std::memmove(m_buffer.get(), m_buffer.get() + m_pos, m_end - m_pos);
    m_offset += m_pos;
    m_end -= m_pos;
    m_pos = 0;
    while (m_end < want && !m_inputEnded) {
      const std::uint64_t at = m_offset + m_end;
      const size_t room = static_cast<size_t>(std::min<std::uint64_t>(kRecordReadPiece - m_end, m_rangeEnd - at));
      const std::optional<size_t> got = room > 0 ? m_input.ReadAt(at, m_buffer.get() + m_end, room) : size_t{0};
      if (!got || *got == 0) {
        m_inputEnded = true;
        m_failed = !got;
        break;
      }
      m_end += std::min(*got, room);
    }
    return m_end > m_pos && !m_failed;
  }

  Result Fail(RecordProblem::Kind kind) {
    m_problem = {};
    m_problem.kind = kind;
    m_problem.line = kind == RecordProblem::Kind::CannotRead ? 0 : m_line;
    return Result::Problem;
  }

  // A record starting at m_pos: its digits decoded and checked, then its meaning.
  Result Record() {
    Fill(kLongestRecord);
    if (m_failed) return Fail(RecordProblem::Kind::CannotRead);
    const unsigned char* text = m_buffer.get() + m_pos;
    const size_t available = m_end - m_pos;
    if (m_format == Format::Unknown) m_format = text[0] == 'S' ? Format::SRecord : Format::IntelHex;
    const bool srecord = m_format == Format::SRecord;
    const size_t prefix = srecord ? 2 : 1;  // "S" and the type, or ":"
    unsigned bad = 0;
    if (text[0] != (srecord ? 'S' : ':') || available < prefix + 2) return Fail(RecordProblem::Kind::Malformed);
    const unsigned count = Pair(text + prefix, bad);
    // After the count: the S-record's count of bytes; Intel HEX's address, type, data and checksum.
    const size_t following = srecord ? count : count + 4;
    const size_t length = prefix + 2 + 2 * following;
    if ((bad & kNoDigit) != 0 || available < length) return Fail(RecordProblem::Kind::Malformed);
    m_bytes[0] = static_cast<unsigned char>(count);
    unsigned sum = count;
    if (!Decode(text + prefix + 2, following, m_bytes.data() + 1, sum)) return Fail(RecordProblem::Kind::Malformed);
    size_t after = length;
    while (after < available && IsBlank(text[after])) ++after;
    if (after < available && text[after] != '\r' && text[after] != '\n') return Fail(RecordProblem::Kind::Malformed);
    const char type = static_cast<char>(text[1]);
    m_data.lineStart = m_offset + m_pos;
    m_data.lineEnd = m_data.lineStart + length;
    m_pos += length;
    m_recordOnLine = true;
    m_closed = false;
    if ((sum & 0xFF) != (srecord ? 0xFFu : 0u)) return Fail(RecordProblem::Kind::BadChecksum);
    return srecord ? SRecordMeaning(type) : HexMeaning();
  }

  std::uint64_t BigEndian(size_t from, size_t count) const {
    std::uint64_t value = 0;
    for (size_t i = from; i < from + count; ++i) value = value << 8 | m_bytes[i];
    return value;
  }

  Result DataRecord(std::uint64_t address, size_t from, size_t size) {
    m_data.address = address;
    m_data.bytes = m_bytes.data() + from;
    m_data.size = size;
    m_data.checksum = m_bytes[from + size];
    ++m_dataRecords;
    return Result::Data;
  }

  // m_bytes: the count, the address, the data, the checksum.
  Result SRecordMeaning(char type) {
    const size_t count = m_bytes[0];
    switch (type) {
      case '0':
        return count >= 3 ? Result::Other : Fail(RecordProblem::Kind::Malformed);
      case '1':
      case '2':
      case '3': {
        const size_t addressBytes = static_cast<size_t>(type - '0') + 1;
        if (count < addressBytes + 1) return Fail(RecordProblem::Kind::Malformed);
        const std::uint64_t address = BigEndian(1, addressBytes);
        const size_t size = count - addressBytes - 1;
        if (address + size > std::uint64_t{1} << (8 * addressBytes)) {
          return Fail(type == '3' ? RecordProblem::Kind::Beyond4GiB : RecordProblem::Kind::Malformed);
        }
        return DataRecord(address, 1 + addressBytes, size);
      }
      case '5':
      case '6': {
        const size_t countBytes = type == '5' ? 2 : 3;
        if (count != countBytes + 1) return Fail(RecordProblem::Kind::Malformed);
        const std::uint64_t mask = (std::uint64_t{1} << (8 * countBytes)) - 1;
        if (m_whole && BigEndian(1, countBytes) != (m_dataRecords & mask)) return Fail(RecordProblem::Kind::WrongCount);
        m_closed = true;
        return Result::Other;
      }
      case '7':
      case '8':
      case '9':
        if (count != static_cast<size_t>('9' - type) + 3) return Fail(RecordProblem::Kind::Malformed);
        m_ended = m_closed = m_whole;
        return Result::Other;
      default:
        return Fail(RecordProblem::Kind::Malformed);
    }
  }

  // m_bytes: the count, the 16-bit address, the type, the data, the checksum.
  Result HexMeaning() {
    const size_t count = m_bytes[0];
    const std::uint32_t offset = static_cast<std::uint32_t>(BigEndian(1, 2));
    const auto needs = [&](size_t expected) { return count == expected ? Result::Other : Fail(RecordProblem::Kind::Malformed); };
    switch (m_bytes[3]) {
      case 0x00:
        if (m_state.segment && offset + count > 0x10000) return Fail(RecordProblem::Kind::Malformed);
        if (m_state.base + std::uint64_t{offset} + count > k4GiB) return Fail(RecordProblem::Kind::Beyond4GiB);
        return DataRecord(m_state.base + std::uint64_t{offset}, 4, count);
      case 0x01:
        m_ended = m_closed = m_whole;
        return needs(0);
      case 0x02:
      case 0x04:
        if (count != 2) return Fail(RecordProblem::Kind::Malformed);
        m_state.segment = m_bytes[3] == 0x02;
        m_state.base = static_cast<std::uint32_t>(BigEndian(4, 2) << (m_state.segment ? 4 : 16));
        return Result::Other;
      case 0x03:
      case 0x05:
        return needs(4);
      default:
        return Fail(RecordProblem::Kind::Malformed);
    }
  }

  RandomAccessInput& m_input;
  std::unique_ptr<unsigned char[]> m_buffer;
  std::uint64_t m_offset = 0;  // of m_buffer[0] in the file
  std::uint64_t m_rangeEnd = 0;
  size_t m_pos = 0;
  size_t m_end = 0;
  Format m_format = Format::Unknown;
  HexState m_state;
  bool m_whole = false;
  bool m_inputEnded = false;
  bool m_failed = false;
  bool m_ended = false;         // the end record was read
  bool m_closed = false;        // the last record was an end record or, in S-record, a count
  bool m_afterCR = false;       // a LF here ends no further line
  bool m_recordOnLine = false;  // only blanks may follow on this line
  std::uint64_t m_line = 1;
  std::uint64_t m_dataRecords = 0;
  std::array<unsigned char, 1 + 4 + 255 + 1> m_bytes{};
  Data m_data;
  RecordProblem m_problem;
};

}  // namespace

bool HasRecordName(std::string_view path) {
  const std::optional<OutputFormat> format = FormatOfExtension(path);
  return format && *format != OutputFormat::Binary;
}

bool LooksLikeRecords(std::string_view path, std::string_view firstBytes) {
  if (!HasRecordName(path)) return false;
  const size_t first = firstBytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (firstBytes[first] == 'S' || firstBytes[first] == ':');
}

class RecordImage::Impl {
 public:
  Impl(RandomAccessInput& input, std::uint64_t start, std::uint64_t size)
      : m_input(input), m_reader(input), m_start(start), m_regionEnd(start + std::min(size, UINT64_MAX - start)) {}

  const RecordProblem& Check() {
    if (m_checked) return m_problem;
    m_checked = true;
    AddressRange found{UINT64_MAX, 0};
    if (!ReadEveryRecord(found)) return m_problem;
    if (found.first < m_start || found.end > m_regionEnd) {
      RecordProblem problem;
      problem.kind = RecordProblem::Kind::OutsideRegion;
      problem.found = found;
      problem.region = {m_start, m_regionEnd};
      return Fail(problem);
    }
    for (std::uint32_t w = 0; !m_sorted && w < m_windows.size(); ++w) {
      if (m_windows[w].records > 0 && !FillWindow(w, true)) break;
    }
    return m_problem;
  }

  std::uint64_t ImageBytes() const { return m_imageBytes; }

  RecordChunk Next(char* buffer, size_t capacity) {
    assert(m_checked && capacity > 0);
    if (!m_checked || m_problem.kind != RecordProblem::Kind::None || m_done >= m_imageBytes) return {};
    return m_sorted ? NextInOrder(buffer, capacity) : NextFromWindow(capacity);
  }

  const RecordProblem& Problem() const { return m_problem; }

  size_t HeldBytes() const {
    return m_reader.HeldBytes() + kErasedBlockSize /* the erased block */ + (m_window ? kRecordWindow + kRecordWindow / 8 : 0) +
           m_windows.capacity() * sizeof(Window) + m_segments.capacity() * sizeof(Segment);
  }

 private:
  // A window of the region: how many records touch it, their fingerprints' sum, and the pieces of the
  // file that hold them.
  struct Window {
    std::uint64_t records = 0;
    std::uint64_t hash = 0;
    std::uint32_t first = kNone;
    std::uint32_t last = kNone;
  };
  // A piece of the file that holds records of one window, with the state its first record is read in.
  struct Segment {
    std::uint64_t begin;
    std::uint64_t end;
    HexState state;
    std::uint32_t window;
    std::uint32_t next;  // the window's next segment, further on in the file
  };

  const RecordProblem& Fail(const RecordProblem& problem) {
    m_problem = problem;
    return m_problem;
  }
  const RecordProblem& Fail(RecordProblem::Kind kind) {
    RecordProblem problem;
    problem.kind = kind;
    return Fail(problem);
  }
  // A problem of a second reading: a line that was sound in the first is a changed file.
  const RecordProblem& FailReading(const RecordProblem& problem) {
    return Fail(problem.kind == RecordProblem::Kind::CannotRead ? problem.kind : RecordProblem::Kind::Changed);
  }

  // The first reading: every line checked; the records in the region noted, in their windows; found
  // gets the addresses of all data.
  bool ReadEveryRecord(AddressRange& found) {
    m_reader.Open(0, UINT64_MAX, Format::Unknown, {}, true);
    std::uint64_t previousEnd = 0, extent = m_start;
    for (RecordReader::Result result; (result = m_reader.Next()) != RecordReader::Result::End;) {
      if (result == RecordReader::Result::Problem) return Fail(m_reader.Problem()), false;
      const RecordReader::Data& data = m_reader.Current();
      if (result != RecordReader::Result::Data || data.size == 0) continue;
      const std::uint64_t end = data.address + data.size;
      found = {std::min(found.first, data.address), std::max(found.end, end)};
      if (data.address < m_start || end > m_regionEnd) continue;
      m_sorted = m_sorted && data.address >= previousEnd;
      previousEnd = end;
      extent = std::max(extent, end);
      const std::uint64_t hash = RecordHash(data.address, data.size, data.checksum);
      m_records += 1;
      m_hash += hash;
      Note(data, hash);
    }
    if (!m_reader.Closed()) return Fail(RecordProblem::Kind::NoEnd), false;
    m_format = m_reader.FileFormat();
    m_fileSize = m_reader.Offset();
    m_imageBytes = extent - m_start;
    return true;
  }

  std::uint32_t WindowOf(std::uint64_t address) const { return static_cast<std::uint32_t>((address - m_start) / kRecordWindow); }

  // Notes the record in the windows it touches (one or two).
  void Note(const RecordReader::Data& data, std::uint64_t hash) {
    const std::uint32_t last = WindowOf(data.address + data.size - 1);
    if (m_windows.size() <= last) m_windows.resize(last + 1);
    for (std::uint32_t w = WindowOf(data.address); w <= last; ++w) {
      Window& window = m_windows[w];
      window.records += 1;
      window.hash += hash;
      if (window.last != kNone && data.lineStart - m_segments[window.last].end <= m_slack) {
        m_segments[window.last].end = data.lineEnd;
        continue;
      }
      if (m_segments.size() == kMaxSegments) Coarsen();
      if (m_segments.size() == m_segments.capacity()) m_segments.reserve(std::min(2 * m_segments.size() + 64, kMaxSegments));
      const auto index = static_cast<std::uint32_t>(m_segments.size());
      m_segments.push_back({data.lineStart, data.lineEnd, m_reader.State(), w, kNone});
      (window.last == kNone ? window.first : m_segments[window.last].next) = index;
      window.last = index;
    }
  }

  // Fewer, longer segments: those of a window closer together than twice the slack become one.
  void Coarsen() {
    do {
      m_slack *= 2;
      size_t kept = 0;
      for (Window& window : m_windows) window.first = window.last = kNone;
      for (size_t i = 0; i < m_segments.size(); ++i) {  // in file order within each window
        const Segment segment = m_segments[i];
        Window& window = m_windows[segment.window];
        if (window.last != kNone && segment.begin - m_segments[window.last].end <= m_slack) {
          m_segments[window.last].end = segment.end;
          continue;
        }
        const auto index = static_cast<std::uint32_t>(kept++);
        m_segments[index] = segment;
        m_segments[index].next = kNone;
        (window.last == kNone ? window.first : m_segments[window.last].next) = index;
        window.last = index;
      }
      m_segments.resize(kept);
    } while (m_segments.size() > kMaxSegments / 2);
  }

  // Reads window w's records into m_window, which then holds its bytes (0xFF where none). In the first
  // pass two records that give an address different bytes are refused; in the second, anything but
  // what the first pass found is a changed file.
  bool FillWindow(std::uint32_t w, bool firstPass) {
    if (m_filled == w) return true;
    ClearWindow();
    const std::uint64_t windowStart = m_start + std::uint64_t{w} * kRecordWindow;
    std::uint64_t records = 0, hash = 0, conflict = UINT64_MAX;
    for (std::uint32_t s = m_windows[w].first; s != kNone; s = m_segments[s].next) {
      const Segment& segment = m_segments[s];
      m_reader.Open(segment.begin, segment.end, m_format, segment.state, false);
      for (RecordReader::Result result; (result = m_reader.Next()) != RecordReader::Result::End;) {
        if (result == RecordReader::Result::Problem) return FailReading(m_reader.Problem()), false;
        const RecordReader::Data& data = m_reader.Current();
        if (result != RecordReader::Result::Data || data.size == 0) continue;
        const std::uint64_t end = data.address + data.size;
        if (end <= windowStart || data.address >= windowStart + kRecordWindow) continue;
        records += 1;
        hash += RecordHash(data.address, data.size, data.checksum);
        const std::uint64_t from = std::max(data.address, windowStart);
        const std::uint64_t to = std::min(end, windowStart + kRecordWindow);
        Place(static_cast<size_t>(from - windowStart), data.bytes + (from - data.address), static_cast<size_t>(to - from),
              windowStart, conflict);
      }
    }
    if (records != m_windows[w].records || hash != m_windows[w].hash) return Fail(RecordProblem::Kind::Changed), false;
    if (conflict == UINT64_MAX) {
      m_filled = w;
      return true;
    }
    if (!firstPass) return Fail(RecordProblem::Kind::Changed), false;
    RecordProblem problem;
    problem.kind = RecordProblem::Kind::Conflict;
    problem.address = conflict;
    return Fail(problem), false;
  }

  // m_window all 0xFF, none of its bytes given. Only what the last window's records wrote is cleared.
  void ClearWindow() {
    if (!m_window) {
      m_window.reset(new unsigned char[kRecordWindow]);
      m_covered.reset(new unsigned char[kRecordWindow / 8]);
      m_written = {0, kRecordWindow};
    }
    m_filled = kNone;
    if (m_written.first < m_written.second) {
      std::memset(m_window.get() + m_written.first, 0xFF, m_written.second - m_written.first);
      const size_t coveredFrom = m_written.first / 8, coveredTo = (m_written.second + 7) / 8;
      std::memset(m_covered.get() + coveredFrom, 0, coveredTo - coveredFrom);
    }
    m_written = {kRecordWindow, 0};
  }

  // Puts bytes at the window's offset at; an address already given another byte lowers conflict.
  void Place(size_t at, const unsigned char* bytes, size_t size, std::uint64_t windowStart, std::uint64_t& conflict) {
    m_written = {std::min(m_written.first, at), std::max(m_written.second, at + size)};
    unsigned char* out = m_window.get() + at;
    if (!Covered(at, size, false)) {  // the common case: nothing there yet
      std::memcpy(out, bytes, size);
      Covered(at, size, true);
      return;
    }
    for (size_t i = 0; i < size; ++i) {
      unsigned char& covered = m_covered[(at + i) >> 3];
      const auto bit = static_cast<unsigned char>(1u << ((at + i) & 7));
      if ((covered & bit) == 0) {
        out[i] = bytes[i];
        covered |= bit;
      } else if (out[i] != bytes[i]) {
        conflict = std::min(conflict, windowStart + at + i);
      }
    }
  }

  // Whether a record gave any of the window's bytes from at on; first marks them all as given if mark.
  bool Covered(size_t at, size_t size, bool mark) {
    unsigned any = 0;
    for (size_t bit = at, end = at + size; bit < end;) {
      const size_t count = std::min<size_t>(8 - (bit & 7), end - bit);
      const auto bits = static_cast<unsigned char>(((1u << count) - 1) << (bit & 7));
      any |= m_covered[bit >> 3] & bits;
      if (mark) m_covered[bit >> 3] |= bits;
      bit += count;
    }
    return any != 0;
  }

  RecordChunk Erased(std::uint64_t size, size_t capacity) {
    const auto n = static_cast<size_t>(std::min<std::uint64_t>({size, capacity, kErasedBlockSize}));
    m_done += n;
    return {ErasedBlock(), n, true};
  }

  // Records out of order: each touched window read whole from its segments, the others erased.
  RecordChunk NextFromWindow(size_t capacity) {
    const auto w = static_cast<std::uint32_t>(m_done / kRecordWindow);
    const std::uint64_t windowLeft = std::min<std::uint64_t>((w + std::uint64_t{1}) * kRecordWindow, m_imageBytes) - m_done;
    if (w >= m_windows.size() || m_windows[w].records == 0) return Erased(windowLeft, capacity);
    if (!FillWindow(w, false)) return {};
    // Before and after what the records wrote, the window is erased.
    const auto at = static_cast<size_t>(m_done % kRecordWindow);
    if (at < m_written.first) return Erased(m_written.first - at, capacity);
    if (at >= m_written.second) return Erased(windowLeft, capacity);
    const auto n = static_cast<size_t>(std::min<std::uint64_t>({windowLeft, m_written.second - at, capacity}));
    m_done += n;
    if (m_done == m_imageBytes && !SameFileSize()) return {};
    return {reinterpret_cast<const char*>(m_window.get()) + at, n};
  }

  bool SameFileSize() {
    char bytes[2];
    const std::optional<size_t> got = m_input.ReadAt(m_fileSize - 1, bytes, 2);
    if (!got) return Fail(RecordProblem::Kind::CannotRead), false;
    if (*got != 1) return Fail(RecordProblem::Kind::Changed), false;
    return true;
  }

  // Records in ascending order: one pass through the file, each record's bytes put where they go.
  RecordChunk NextInOrder(char* buffer, size_t capacity) {
    if (!m_reading) m_reader.Open(0, UINT64_MAX, m_format, {}, true);
    m_reading = true;
    size_t filled = 0;
    while (filled < capacity && m_done < m_imageBytes) {
      if (m_pendingUsed == m_pending.size && !NextPending()) return {};
      const std::uint64_t next = m_pending.address + m_pendingUsed - m_start;  // in the region
      if (next > m_done) {
        const std::uint64_t gap = next - m_done;
        if (gap >= kErasedRun) {
          if (filled > 0) break;
          return Erased(gap, capacity);
        }
        const auto n = static_cast<size_t>(std::min<std::uint64_t>(gap, capacity - filled));
        std::memset(buffer + filled, 0xFF, n);
        filled += n;
        m_done += n;
        continue;
      }
      const size_t n = std::min(m_pending.size - m_pendingUsed, capacity - filled);
      std::memcpy(buffer + filled, m_pendingBytes.data() + m_pendingUsed, n);
      m_pendingUsed += n;
      filled += n;
      m_done += n;
    }
    if (m_done == m_imageBytes && !FinishInOrder()) return {};
    return {buffer, filled};
  }

  // The next data record of the second pass into m_pending: in order, in the region, as the first pass found.
  bool NextPending() {
    for (RecordReader::Result result; (result = m_reader.Next()) != RecordReader::Result::End;) {
      if (result == RecordReader::Result::Problem) return FailReading(m_reader.Problem()), false;
      const RecordReader::Data& data = m_reader.Current();
      if (result != RecordReader::Result::Data || data.size == 0) continue;
      if (data.address < m_pending.address + m_pending.size || data.address < m_start ||
          data.address + data.size > m_start + m_imageBytes) {
        break;
      }
      m_pending = data;
      m_pendingUsed = 0;
      std::memcpy(m_pendingBytes.data(), data.bytes, data.size);
      m_readRecords += 1;
      m_readHash += RecordHash(data.address, data.size, data.checksum);
      return true;
    }
    return Fail(RecordProblem::Kind::Changed), false;
  }

  // After the last byte: the rest of the file holds no data, and the records were those of the first pass.
  bool FinishInOrder() {
    for (RecordReader::Result result; (result = m_reader.Next()) != RecordReader::Result::End;) {
      if (result == RecordReader::Result::Problem) return FailReading(m_reader.Problem()), false;
      if (result == RecordReader::Result::Data && m_reader.Current().size > 0) return Fail(RecordProblem::Kind::Changed), false;
    }
    const bool same = m_reader.Closed() && m_reader.Offset() == m_fileSize && m_readRecords == m_records && m_readHash == m_hash;
    return same || (Fail(RecordProblem::Kind::Changed), false);
  }

  RandomAccessInput& m_input;
  RecordReader m_reader;
  const std::uint64_t m_start;
  const std::uint64_t m_regionEnd;
  bool m_checked = false;
  RecordProblem m_problem;
  Format m_format = Format::Unknown;
  std::uint64_t m_fileSize = 0;
  std::uint64_t m_imageBytes = 0;
  bool m_sorted = true;  // every data record starts where or after the one before ended
  std::uint64_t m_records = 0;  // in the region, with their fingerprints' sum
  std::uint64_t m_hash = 0;
  std::vector<Window> m_windows;
  std::vector<Segment> m_segments;
  std::uint64_t m_slack = kFirstSlack;
  std::unique_ptr<unsigned char[]> m_window;
  std::unique_ptr<unsigned char[]> m_covered;  // a bit for each byte of m_window that a record gave
  std::uint32_t m_filled = kNone;              // the window that m_window holds
  std::pair<size_t, size_t> m_written;         // the part of m_window that records wrote: from, to
  std::uint64_t m_done = 0;                    // bytes of the image handed on
  RecordReader::Data m_pending;                // the second pass's current record
  std::array<unsigned char, 256> m_pendingBytes{};
  size_t m_pendingUsed = 0;
  bool m_reading = false;  // the second pass through a file in order has begun
  std::uint64_t m_readRecords = 0;
  std::uint64_t m_readHash = 0;
};

RecordImage::RecordImage(RandomAccessInput& input, std::uint64_t start, std::uint64_t size)
    : m_impl(std::make_unique<Impl>(input, start, size)) {}
RecordImage::~RecordImage() = default;
const RecordProblem& RecordImage::Check() { return m_impl->Check(); }
std::uint64_t RecordImage::ImageBytes() const { return m_impl->ImageBytes(); }
RecordChunk RecordImage::Next(char* buffer, size_t capacity) { return m_impl->Next(buffer, capacity); }
const RecordProblem& RecordImage::Problem() const { return m_impl->Problem(); }
size_t RecordImage::HeldBytes() const { return m_impl->HeldBytes(); }

}  // namespace quorvel
