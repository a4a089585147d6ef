#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output_format.h"
#include "test_support.h"

namespace quorvel {
namespace {

constexpr OutputFormat kBin = OutputFormat::Binary;
constexpr OutputFormat kSrec = OutputFormat::SRecord;
constexpr OutputFormat kHex = OutputFormat::IntelHex;

// The records for image, handed over in pieces of pieceSize; the sizes of the text's pieces go to pieces.
std::string Encode(OutputFormat format, std::uint64_t base, const std::string& image, size_t pieceSize,
                   std::vector<size_t>* pieces = nullptr) {
  std::string text;
  RecordEncoder encoder(format, base, image.size(), [&](const char* data, size_t size) {
    text.append(data, size);
    if (pieces) pieces->push_back(size);
    return true;
  });
  for (size_t at = 0; at < image.size(); at += pieceSize) {
    EXPECT_TRUE(encoder.Write(image.data() + at, std::min(pieceSize, image.size() - at)));
  }
  EXPECT_TRUE(encoder.Finish());
  return text;
}

// The golden files were written by srec_cat (srecord 1.64) from records.bin, 0xFF runs at and across
// 32-byte blocks and data on both sides of 64 KiB at base 0xFEE5:
//   srec_cat records.bin -binary -offset BASE -unfill 0xFF -o FILE -motorola -obs=32 -output-block-alignment
//            -crlf -disable=data-count -execution-start-address=0 -header quorvel -address-length=N
//   srec_cat records.bin -binary -offset BASE -unfill 0xFF -o FILE -intel -obs=32 -output-block-alignment -crlf
TEST(RecordEncoderTest, SameTextAsTheConverterWhateverThePieces) {
  const std::string image = testing::ReadBytes(testing::DataPath("golden/records.bin"));
  const struct { OutputFormat format; std::uint64_t base; const char* golden; } rows[] = {
      {kSrec, 0, "records-00000000.srec"}, {kSrec, 0xFEE5, "records-0000FEE5.srec"},
      {kSrec, 0xFFFFFCA0, "records-FFFFFCA0.srec"}, {kHex, 0, "records-00000000.hex"},
      {kHex, 0xFEE5, "records-0000FEE5.hex"}, {kHex, 0xFFFFFCA0, "records-FFFFFCA0.hex"}};
  for (const auto& row : rows) {
    const std::string golden = testing::ReadBytes(testing::DataPath(std::string("golden/") + row.golden));
    for (size_t piece : {size_t{1}, size_t{31}, size_t{33}, image.size()}) {
      EXPECT_EQ(Encode(row.format, row.base, image, piece), golden) << row.golden << " in pieces of " << piece;
    }
  }
}

// A reader of our own: checks every line and puts each data byte into image, where base sits at the
// start. dataType is the S-record data type the image's last address calls for ('1', '2' or '3').
void ReadBack(OutputFormat format, const std::string& text, std::uint64_t base, char dataType, std::string& image) {
  const bool srec = format == kSrec;
  const size_t digitsAt = srec ? 2 : 1;
  const char endType = static_cast<char>('9' + '1' - dataType);
  std::uint64_t upper = 0;
  bool ended = false;
  ASSERT_TRUE(text.ends_with("\r\n"));
  for (size_t at = 0, end; at < text.size(); at = end + 2) {
    end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    SCOPED_TRACE(line);
    ASSERT_FALSE(ended) << "a line after the end record";
    ASSERT_TRUE(line.size() > digitsAt && line[0] == (srec ? 'S' : ':') && (line.size() - digitsAt) % 2 == 0 &&
                line.find_first_not_of("0123456789ABCDEF", digitsAt) == std::string::npos);
    std::vector<unsigned> b;
    unsigned sum = 0;
    for (size_t i = digitsAt; i < line.size(); i += 2) sum += b.emplace_back(std::stoul(line.substr(i, 2), 0, 16));
    std::uint64_t address = 0;
    size_t dataAt = 4;
    if (srec) {
      ASSERT_TRUE(b[0] + 1 == b.size() && (sum & 0xFF) == 0xFF) << "count and checksum";
      ASSERT_EQ(at == 0, line[1] == '0') << "the header first, and only there";
      ASSERT_TRUE(line[1] == '0' || line[1] == dataType || line[1] == endType) << "record type";
      ended = line[1] == endType;
      if (line[1] != dataType) continue;
      dataAt = static_cast<size_t>(dataType - '0') + 2;
      for (size_t i = 1; i < dataAt; ++i) address = address << 8 | b[i];
    } else {
      ASSERT_TRUE(b[0] + 5 == b.size() && (sum & 0xFF) == 0) << "count and checksum";
      ASSERT_TRUE(b[3] == 0 || (b[3] == 1 && b[0] == 0) || (b[3] == 4 && b[0] == 2)) << "record type";
      ended = b[3] == 1;
      if (b[3] == 4) upper = b[4] << 8 | b[5];
      if (b[3] != 0) continue;
      address = upper << 16 | b[1] << 8 | b[2];
    }
    const size_t count = b.size() - 1 - dataAt;
    EXPECT_LE(address % 32 + count, 32u) << "within one 32-byte block";
    for (size_t i = 0; i < count; ++i) {
      EXPECT_NE(b[dataAt + i], 0xFFu) << "erased flash is left out";
      ASSERT_TRUE(address + i >= base && address + i - base < image.size()) << "address " << address + i;
      image[address + i - base] = static_cast<char>(b[dataAt + i]);
    }
  }
  EXPECT_TRUE(ended);
}

// Data with 0xFF runs of every length up to 74 and one long run, so that the records start and end
// everywhere in their blocks and a long gap spans 64 KiB boundaries.
std::string FlashImage(size_t size) {
  std::string image = testing::Pattern(size, 7);
  for (size_t at = 5; at < size; at += 997) {
    const size_t run = std::min(size - at, at % 75);
    image.replace(at, run, run, '\xFF');
  }
  image.replace(size / 3, size / 4, size / 4, '\xFF');
  return image;
}

TEST(RecordEncoderTest, RecordsReadBackToTheImage) {
  const struct { OutputFormat format; std::uint64_t base; size_t size; char dataType; size_t piece; } rows[] = {
      {kSrec, 0, 0x10000, '1', 1},         {kSrec, 1, 0x10000, '2', 4096},      {kSrec, 0xFE0000, 0x20000, '2', 3},
      {kSrec, 0xFF0001, 0x10000, '3', 777}, {kSrec, 0xFFFCFFF3, 0x3000D, '3', 65536}, {kSrec, 0x1000, 0, '1', 1},
      {kHex, 0, 0x30000, '1', 5},          {kHex, 0x1FFF3, 0x20000, '1', 100000}, {kHex, 0xFFFCFFF3, 0x3000D, '1', 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << (row.format == kSrec ? "S-record" : "Intel HEX") << " at " << row.base);
    const std::string image = FlashImage(row.size);
    std::string rebuilt(row.size, '\xFF');
    ReadBack(row.format, Encode(row.format, row.base, image, row.piece), row.base, row.dataType, rebuilt);
    EXPECT_EQ(rebuilt, image);
  }
}

TEST(RecordEncoderTest, HandsTextOnInBoundedPiecesAndStopsWhenRefused) {
  const std::string image = testing::Pattern(size_t{4} << 20, 3);  // about 10 MB of records
  std::vector<size_t> pieces;
  Encode(kSrec, 0, image, size_t{3} << 20, &pieces);
  ASSERT_GT(pieces.size(), 3u);
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    EXPECT_LE(pieces[i], kRecordTextPiece);
    EXPECT_GT(pieces[i], kRecordTextPiece - 100);
  }

  int calls = 0;
  RecordEncoder refused(kHex, 0, image.size(), [&](const char*, size_t) { return ++calls < 2; });
  EXPECT_FALSE(refused.Write(image.data(), image.size()));
  EXPECT_FALSE(refused.Write(image.data(), 1));
  EXPECT_FALSE(refused.Finish());
  EXPECT_EQ(calls, 2) << "nothing more is handed on once the text was refused";

  RecordEncoder tooLong(kHex, 0xFFFFFFFC, 4, [](const char*, size_t) { return true; });
  EXPECT_TRUE(tooLong.Write("abcd", 4));
  EXPECT_FALSE(tooLong.Write("e", 1)) << "a byte beyond the image has no address";
  EXPECT_FALSE(tooLong.Finish());
}

TEST(OutputFormatTest, AddressesFormatsAndNames) {
  constexpr std::uint64_t k4G = std::uint64_t{1} << 32;
  const struct { std::uint64_t base, size; bool fits; } addressRows[] = {
      {0, 0, true},         {0, k4G, true},        {0, k4G + 1, false}, {0xFFFFFFFF, 1, true},
      {0xFFFFFFFF, 2, false}, {0x80000001, 0x7FFFFFFF, true}, {0x80000001, 0x80000000, false},
      {k4G, 0, false},      {k4G, 1, false},       {UINT64_MAX, 1, false}, {1, UINT64_MAX, false}};
  for (const auto& row : addressRows) {
    EXPECT_EQ(RecordsCanAddress(row.base, row.size), row.fits) << row.base << " + " << row.size;
  }

  const auto none = std::nullopt;
  const struct { const char* path; std::optional<OutputFormat> format; } pathRows[] = {
      {"all.mot", kSrec},    {"ALL.SREC", kSrec},   {"a.s19", kSrec},         {"a.S28", kSrec},
      {"dir/a.s37", kSrec},  {"all.hex", kHex},     {"C:\\out\\ALL.Hex", kHex}, {"all.bin.hex", kHex},
      {"a.ihx", kHex},       {"a.IHEX", kHex},      {"all.bin", kBin},        {"a.img", kBin},
      {"all.hex.bin", kBin}, {"all", none},         {"dir.hex/all", none},    {"dir.s19\\all", none},
      {"all.hexa", none},    {"all.s1", none},      {"all.", none},           {"", none}};
  for (const auto& row : pathRows) EXPECT_EQ(FormatOfExtension(row.path), row.format) << row.path;
  EXPECT_EQ(FormatForPath("all"), kBin);

  const struct { const char* name; std::optional<OutputFormat> format; } nameRows[] = {
      {"bin", kBin}, {"srec", kSrec}, {"ihex", kHex}, {"hex", std::nullopt},
      {"s19", std::nullopt}, {"SREC", std::nullopt}, {"", std::nullopt}, {"ihex ", std::nullopt}};
  for (const auto& row : nameRows) EXPECT_EQ(FormatFromName(row.name), row.format) << row.name;
}

}  // namespace
}  // namespace quorvel
