#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "image/output_format.h"
#include "test_support.h"

namespace quorvel {
namespace {

constexpr OutputFormat kSrec = OutputFormat::SRecord;
constexpr OutputFormat kHex = OutputFormat::IntelHex;

// The records for image, handed over in pieces of pieceSize, those of erased flash alone skipped.
std::string Encode(OutputFormat format, std::uint64_t base, const std::string& image, size_t pieceSize) {
  std::string text;
  RecordEncoder encoder(format, base, image.size(), [&](const char* data, size_t size) { return text.append(data, size), true; });
  for (size_t at = 0; at < image.size(); at += pieceSize) {
    const std::string_view piece = std::string_view(image).substr(at, pieceSize);
    const bool erased = piece.find_first_not_of('\xFF') == std::string_view::npos;
    EXPECT_TRUE(erased ? encoder.Skip(piece.size()) : encoder.Write(piece.data(), piece.size()));
  }
  EXPECT_TRUE(encoder.Finish());
  return text;
}

// Erased flash with data at its start, at its end and across every 64 KiB boundary of its addresses.
std::string SparseImage(std::uint64_t base, size_t size) {
  std::string image(size, '\xFF');
  const auto put = [&](std::uint64_t from, std::uint64_t to) {  // positions in the image, cut to it
    from = std::min<std::uint64_t>(from, size), to = std::min<std::uint64_t>(to, size);
    if (from < to) image.replace(from, to - from, testing::Pattern(to - from, static_cast<unsigned>(from)));
  };
  put(0, 5);
  put(size < 7 ? 0 : size - 7, size);
  for (std::uint64_t boundary = (base | 0xFFFF) + 1; boundary < base + size; boundary += 0x10000) {
    put(boundary - base < 37 ? 0 : boundary - base - 37, boundary - base + 33);
  }
  return image;
}

// The golden files were written by the reference converter from records.bin (0xFF runs at and across
// 32-byte blocks, data on both sides of 64 KiB at base 0xFEE5) or from the sparse image of the size
// given, with the options that output_format.h names; tests/data/golden/README.md has the commands.
TEST(RecordEncoderTest, SameTextAsTheConverterWhateverThePieces) {
  const std::string records = testing::ReadBytes(testing::DataPath("golden/records.bin"));
  const struct { OutputFormat format; std::uint64_t base; const char* golden; std::optional<size_t> sparse = {}; } rows[] = {
      {kSrec, 0, "records-00000000.srec"}, {kSrec, 0xFEE5, "records-0000FEE5.srec"},
      {kSrec, 0xFFFFFCA0, "records-FFFFFCA0.srec"}, {kHex, 0, "records-00000000.hex"},
      {kHex, 0xFEE5, "records-0000FEE5.hex"}, {kHex, 0xFFFFFCA0, "records-FFFFFCA0.hex"},
      // the last address just within 16 and 24 bits, and just beyond; an empty image
      {kSrec, 0, "sparse-00000000-10000.srec", 0x10000}, {kSrec, 1, "sparse-00000001-10000.srec", 0x10000},
      {kSrec, 0xFE0000, "sparse-00FE0000-20000.srec", 0x20000}, {kSrec, 0xFF0001, "sparse-00FF0001-10000.srec", 0x10000},
      {kSrec, 0xFFFCFFF3, "sparse-FFFCFFF3-3000D.srec", 0x3000D}, {kSrec, 0x1000, "sparse-00001000-0.srec", 0},
      {kHex, 0, "sparse-00000000-30000.hex", 0x30000}, {kHex, 0x1FFF3, "sparse-0001FFF3-20000.hex", 0x20000},
      {kHex, 0xFFFCFFF3, "sparse-FFFCFFF3-3000D.hex", 0x3000D}, {kHex, 0x1000, "sparse-00001000-0.hex", 0}};
  for (const auto& row : rows) {
    const std::string golden = testing::ReadBytes(testing::DataPath(std::string("golden/") + row.golden));
    const std::string image = row.sparse ? SparseImage(row.base, *row.sparse) : records;
    for (size_t piece : {size_t{1}, size_t{31}, size_t{33}, std::max<size_t>(image.size(), 1)}) {
      EXPECT_EQ(Encode(row.format, row.base, image, piece), golden) << row.golden << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace quorvel
