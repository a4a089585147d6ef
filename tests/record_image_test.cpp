#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "image/record_image.h"
#include "image/output_format.h"
#include "test_support.h"

namespace quorvel {
namespace {

using testing::Ff;

using Kind = RecordProblem::Kind;
constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;

// A file in memory whose reads fail from failAt on; the tests change it between the passes.
class MemoryInput final : public RandomAccessInput {
 public:
  explicit MemoryInput(std::string contents) : text(std::move(contents)) {}
  std::optional<size_t> ReadAt(std::uint64_t offset, void* buffer, size_t size) override {
    if (offset + size > failAt) return std::nullopt;
    const size_t n = offset < text.size() ? std::min<size_t>(size, text.size() - static_cast<size_t>(offset)) : 0;
    std::memcpy(buffer, text.data() + (n > 0 ? offset : 0), n);
    return n;
  }
  std::string text;
  std::uint64_t failAt = UINT64_MAX;
};

// What reading handed on: the runs of bytes other than 0xFF, by their position in the region.
struct Outcome {
  RecordProblem problem;
  std::uint64_t imageBytes = 0;
  std::uint64_t handed = 0;      // bytes in all
  std::uint64_t handedData = 0;  // bytes in chunks not marked erased
  std::map<std::uint64_t, std::string> runs;

  std::string Bytes() const {
    std::string bytes = Ff(static_cast<size_t>(handed));
    for (const auto& [at, run] : runs) bytes.replace(static_cast<size_t>(at), run.size(), run);
    return bytes;
  }
};

// Both passes, the second in pieces of capacity; between runs after the first.
Outcome Read(MemoryInput& input, std::uint64_t start, std::uint64_t size, size_t capacity,
             const std::function<void(MemoryInput&)>& between = {}) {
  RecordImage image(input, start, size);
  Outcome outcome;
  outcome.problem = image.Check();
  outcome.imageBytes = image.ImageBytes();
  if (outcome.problem.kind != Kind::None) return outcome;
  if (between) between(input);
  std::vector<char> buffer(capacity);
  std::string_view erasedSeen;  // erased chunks come from one block: looked at once
  for (RecordChunk chunk; (chunk = image.Next(buffer.data(), capacity)).size > 0; outcome.handed += chunk.size) {
    EXPECT_LE(chunk.size, capacity);
    EXPECT_LE(image.HeldBytes(), kRecordMemoryBound);
    EXPECT_EQ(image.Problem().kind, Kind::None);  // nothing is handed on after a problem
    if (chunk.erased && (chunk.data != erasedSeen.data() || chunk.size > erasedSeen.size())) {
      EXPECT_EQ(std::string(chunk.data, chunk.size), Ff(chunk.size));
      erasedSeen = {chunk.data, chunk.size};
    }
    if (chunk.erased) continue;
    outcome.handedData += chunk.size;
    const std::string_view data(chunk.data, chunk.size);
    for (size_t at = data.find_first_not_of('\xFF'), end; at != std::string_view::npos; at = data.find_first_not_of('\xFF', end)) {
      end = std::min(data.find('\xFF', at), data.size());
      const std::uint64_t position = outcome.handed + at;
      const auto last = outcome.runs.empty() ? outcome.runs.end() : std::prev(outcome.runs.end());
      if (last != outcome.runs.end() && last->first + last->second.size() == position) {
        last->second += data.substr(at, end - at);
      } else {
        outcome.runs[position] = data.substr(at, end - at);
      }
    }
  }
  outcome.problem = image.Problem();
  return outcome;
}

// The test files were written by srec_cat from records/image.bin, at the base in their names;
// tests/data/records/README.md has the commands.
TEST(RecordImageTest, ReadsTheBytesOfTheRecords) {
  const std::string image = testing::ReadBytes(testing::DataPath("records/image.bin"));
  const auto file = [](const char* name) { return testing::ReadBytes(testing::DataPath(std::string("records/") + name)); };
  std::string large = testing::Pattern(size_t{2} << 20, 18);  // with erased runs: gaps between records
  for (size_t at = 0xFFF0; at + 0x210 < large.size(); at += 0x10000) large.replace(at, 0x200 + at % 7, Ff(0x200 + at % 7));
  const std::uint64_t largeBase = 0x7FFF0123, largeStart = largeBase - (3 << 20);
  std::string longest(402, '\n');  // puts line 2008, of the longest kind, 520 before the end of a read piece
  for (int i = 0; i < 2010; ++i) longest += ":FF000000" + std::string(510, '0') + "01\n";
  const struct { std::string name, text; std::uint64_t start; std::string expected; } rows[] = {
      {"image-1000.s19 in a region starting earlier", file("image-1000.s19"), 0xF00, Ff(0x100) + image},
      {"image-FFF80.s28: gaps, 64 KiB", file("image-FFF80.s28"), 0xFFF80, image},
      {"image-FFFF80.s37: 16 MiB, CR LF", file("image-FFFF80.s37"), 0xFFFF00, Ff(0x80) + image},
      {"image-FFFF80.hex: gaps, extended linear", file("image-FFFF80.hex"), 0xFFFF80, image},
      {"image-EFF80-segment.hex", file("image-EFF80-segment.hex"), 0xE0000, Ff(0xFF80) + image},
      {"image-1000-unsorted.s19: overlapping the same bytes", file("image-1000-unsorted.s19"), 0x1000, image},
      {"lower case, blanks, blank lines, CR line ends, a gap",
       "\r\n  S1071000abcdef0180 \rS10510100203D5\t\r\r\nS9030000fc\n\n", 0x1000, "\xAB\xCD\xEF\x01" + Ff(12) + "\x02\x03"},
      {"the same bytes twice, out of order, 8 bytes apart; an empty record; ends with a count",
       "S104100809DA\nS10510100203D5\nS1091000010203040506D1\nS10D1000010203040506070809AA0B\nS1031000EC\nS104100203E6\nS604000006F5\n",
       0x1000, std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\xAA", 10) + Ff(6) + "\x02\x03"},
      {"no data", "S0030000FC\nS1031000EC\nS9030000FC\n", 0x1000, ""},
      {"data up to 4 GiB", "S309FFFFFFFC01020304F3\nS70500000000FA\n", 0xFFFFFFF0, Ff(12) + "\x01\x02\x03\x04"},
      {"the same in Intel HEX", ":02000004FFFFFC\n:04FFFC0001020304F7\n:00000001FF\n", 0xFFFFFFF0, Ff(12) + "\x01\x02\x03\x04"},
      {"the longest line at the end of a read piece", longest + ":00000001FF\n", 0, std::string(255, '\0')},
      {"a linear record across 64 KiB; start records", ":020000040000FA\n:04FFFE0001020304F5\n:0400000300000000F9\n:0400000500000000F7\n:00000001FF\n",
       0xFFF0, Ff(14) + "\x01\x02\x03\x04"},
      {"Intel HEX made by the encoder", testing::RecordsOf(OutputFormat::IntelHex, largeBase, large), largeStart, Ff(3 << 20) + large},
  };
  for (const auto& row : rows) {
    const std::string expected = row.expected.substr(0, row.expected.find_last_not_of('\xFF') + 1);
    for (size_t capacity : {size_t{5}, size_t{4099}, kRecordWindow}) {
      if (capacity == 5 && expected.size() > 100000) continue;
      MemoryInput input(row.text);
      const Outcome outcome = Read(input, row.start, 0x10000000, capacity);
      EXPECT_EQ(outcome.problem.kind, Kind::None) << row.name << " line " << outcome.problem.line;
      EXPECT_EQ(outcome.imageBytes, expected.size()) << row.name;
      EXPECT_TRUE(outcome.Bytes() == expected) << row.name << " in pieces of " << capacity;
    }
  }
}

TEST(RecordImageTest, RefusesWithTheProblemsDetails) {
  // The region holds 0x1000 to 0x1FFF.
  const struct { std::string text; Kind kind; std::uint64_t line = 0, address = 0; AddressRange found = {}; } rows[] = {
      // a character that is no digit, in the data and in the count; a line cut short, a digit short
      {"S1071000010g0304DE\n", Kind::Malformed, 1}, {"S1x7100001020304DE\n", Kind::Malformed, 1},
      {"S107100001020304DE\nS1071000010203", Kind::Malformed, 2}, {"S0030000FC\nS107100001020304D\nS9030000FC\n", Kind::Malformed, 2},
      // a count of more bytes than the line has, of fewer; unknown types; counts wrong for the type
      {"S108100001020304DE\n", Kind::Malformed, 1}, {"S106100001020304DE\n", Kind::Malformed, 1},
      {"S404100001EA\n", Kind::Malformed, 1}, {":00000006FA\n", Kind::Malformed, 1},
      {"S504000100FA\n", Kind::Malformed, 1}, {":0100000100FE\n", Kind::Malformed, 1},
      // S1 past 0xFFFF, S2 past 0xFFFFFF, past the end of its segment
      {"S107FFFD01020304F2\n", Kind::Malformed, 1}, {"S208FFFFFD01020304F2\n", Kind::Malformed, 1},
      {":020000020100FB\n:04FFFD0001020304F6\n", Kind::Malformed, 2},
      // a record after the end, after another on its line (even a megabyte of blanks on), in the other format
      {"S107100001020304DE\nS9030000FC\n\nS107100001020304DE\n", Kind::Malformed, 4},
      {"S107100001020304DE S9030000FC\n", Kind::Malformed, 1},
      {"S107100001020304DE" + std::string(1 << 20, ' ') + "S9030000FC\n", Kind::Malformed, 1},
      {"S107100001020304DE\n:00000001FF\n", Kind::Malformed, 2}, {"hello\n", Kind::Malformed, 1},
      // each kind of line end; a line problem before a record outside the region
      {"S0030000FC\r \nS0030000FC\rS107100001020304DE\n\r\nS1071000010x0304DE", Kind::Malformed, 6},
      {"S104200009D2\nS1071000010x0304DE\n", Kind::Malformed, 2},
      {"S107100001020304DF\n", Kind::BadChecksum, 1}, {"\n:0410000001020304E3\n", Kind::BadChecksum, 2},
      {"S107100001020304DE\nS5030002FA\n", Kind::WrongCount, 2},
      {"S107100001020304DE\n", Kind::NoEnd}, {"S107100001020304DE\nS5030001FB\nS107100001020304DE\n", Kind::NoEnd},
      {":0410000001020304E2\n", Kind::NoEnd}, {"\n \n", Kind::NoEnd},
      {"S309FFFFFFFE01020304F1\n", Kind::Beyond4GiB, 1}, {":02000004FFFFFC\n:04FFFE0001020304F5\n", Kind::Beyond4GiB, 2},
      {"S1050FFE0102EA\nS107100001020304DE\nS104200009D2\nS9030000FC\n", Kind::OutsideRegion, 0, 0, {0xFFE, 0x2001}},
      {":020000040001F9\n:0110000005EA\n:00000001FF\n", Kind::OutsideRegion, 0, 0, {0x11000, 0x11001}},
      {"S10510041122B3\nS1091000010203040506D1\nS1041001FFEB\nS9030000FC\n", Kind::Conflict, 0, 0x1001},
  };
  for (const auto& row : rows) {
    MemoryInput input(row.text);
    const RecordProblem problem = Read(input, 0x1000, 0x1000, kRecordWindow).problem;
    EXPECT_EQ(problem.kind, row.kind) << row.text;
    EXPECT_EQ(problem.line, row.line) << row.text;
    EXPECT_EQ(problem.address, row.address) << row.text;
    EXPECT_EQ(problem.found, row.found) << row.text;
    const AddressRange region = row.kind == Kind::OutsideRegion ? AddressRange{0x1000, 0x2000} : AddressRange{};
    EXPECT_EQ(problem.region, region) << row.text;
  }
  // Each character beside the digits, in a record long enough to be read 16 bytes at a time.
  for (char bad : std::string("/:@G`g\xB0")) {
    MemoryInput input("S31500001000101112131415161718191A1B1C1D1E1F62\nS70500000000FA\n");
    input.text[20] = bad;
    EXPECT_EQ(Read(input, 0x1000, 0x1000, kRecordWindow).problem.kind, Kind::Malformed) << bad;
  }
}

TEST(RecordImageTest, SecondPassFailsOnAFileChangedOrUnreadable) {
  // Data in two windows, the first of them filled again in the second pass.
  const std::string sorted = "S107100001020304DE\nS30940001000AABBCCDD98\nS9030000FC\n";
  const std::string unsorted = "S30940001000AABBCCDD98\nS107100001020304DE\nS9030000FC\n";
  const auto replace = [](const char* from, const char* to) {
    return [=](MemoryInput& input) { input.text.replace(input.text.find(from), std::strlen(from), to); };
  };
  // Out of order, only the windows' records are read again: the end record is not.
  const struct { const char* name; std::function<void(MemoryInput&)> change; Kind kind, unsortedKind; } changes[] = {
      {"a byte changed", replace("S107100001020304DE", "S107100001020305DD"), Kind::Changed, Kind::Changed},
      {"a record changed into one outside", replace("S107100001020304DE", "S1070FFF01020304E0"), Kind::Changed, Kind::Changed},
      {"a line broken", replace("S107100001020304DE", "S107100001020304DF"), Kind::Changed, Kind::Changed},
      {"the end broken", replace("S9030000FC", "S9030000FD"), Kind::Changed, Kind::None},
      {"cut short", [](MemoryInput& input) { input.text.resize(input.text.size() - 12); }, Kind::Changed, Kind::Changed},
      {"unreadable", [](MemoryInput& input) { input.failAt = 0; }, Kind::CannotRead, Kind::CannotRead},
      {"unreadable at its end", [](MemoryInput& input) { input.failAt = input.text.size() - 1; }, Kind::CannotRead, Kind::CannotRead},
  };
  for (const std::string& text : {sorted, unsorted}) {
    for (const auto& row : changes) {
      MemoryInput input(text);
      EXPECT_EQ(Read(input, 0x1000, k4GiB, kRecordWindow, row.change).problem.kind, text == sorted ? row.kind : row.unsortedKind)
          << row.name << " in " << text;
    }
  }
  MemoryInput unreadable(sorted);  // in the first pass
  unreadable.failAt = 20;
  EXPECT_EQ(Read(unreadable, 0x1000, k4GiB, 4096).problem.kind, Kind::CannotRead);
}

TEST(RecordImageTest, MemoryStaysBoundedWhateverTheRegionAndTheOrder) {
  // A region of 6 GiB, records 1 GiB and 4 GiB on: nothing like the region is held or handed on as
  // data, in either order.
  const std::string first = "S3064000001001A8\n", last = "S309FFFFFFF0AABBCCDDFB\n";
  for (const std::string& text : {first + last + "S70500000000FA\n", last + first + "S70500000000FA\n"}) {
    MemoryInput input(text);
    const Outcome outcome = Read(input, 0x10, std::uint64_t{6} << 30, kRecordWindow);
    EXPECT_EQ(outcome.problem.kind, Kind::None);
    EXPECT_EQ(outcome.imageBytes, 0xFFFFFFF4u - 0x10);
    EXPECT_LT(outcome.handedData, kRecordReadPiece);
    EXPECT_EQ(outcome.runs, (std::map<std::uint64_t, std::string>{{0x40000000, "\x01"}, {0xFFFFFFE0, "\xAA\xBB\xCC\xDD"}}));
  }
  // Records of 64 windows in turn, each window's more than 16 KiB apart in the file: the pieces of
  // the file to read per window outgrow the table and are merged. A window's records start at it,
  // or cross into it, or among them comes one that ends at it.
  std::string text;
  std::map<std::uint64_t, std::string> expected;
  for (std::uint64_t round = 0; round < 65; ++round) {
    for (std::uint64_t window = 0; window < 64; ++window) {
      const std::uint64_t from = window * kRecordWindow - std::vector<std::uint64_t>{0, 250, 100}[window % 3];
      const bool endingAtIt = window % 3 == 1 && round == 0;
      for (std::uint64_t slot : endingAtIt ? std::vector<std::uint64_t>{1, 0} : std::vector<std::uint64_t>{round + (window % 3 == 1)}) {
        std::string bytes = testing::Pattern(250, static_cast<unsigned>(from + slot));
        std::replace(bytes.begin(), bytes.end(), '\xFF', '\x00');
        expected[from].resize(std::max<size_t>(expected[from].size(), (slot + 1) * 250));
        expected[from].replace(slot * 250, 250, bytes);
        const std::string records = testing::RecordsOf(OutputFormat::SRecord, from + slot * 250, bytes);
        text += records.substr(records.find('\n') + 1, records.rfind('S') - records.find('\n') - 1);  // the data records
      }
    }
  }
  MemoryInput input(text + "S9030000FC\n");
  const Outcome outcome = Read(input, 0, std::uint64_t{1} << 30, kRecordWindow);
  EXPECT_EQ(outcome.problem.kind, Kind::None);
  EXPECT_TRUE(outcome.runs == expected);
}

}  // namespace
}  // namespace quorvel
