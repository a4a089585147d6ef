#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "layout/layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

// "offset|size|name" for every row in order.
std::vector<std::string> Rows(const std::vector<RegionRow>& loaded) {
  std::vector<std::string> rows;
  for (const RegionRow& r : loaded) rows.push_back(r.offsetText + "|" + r.sizeText + "|" + r.regionName);
  return rows;
}

// The regions of a layout, sorted by their 64-bit offsets, their texts as the layout has them.
TEST(LoadLayout, MakesARowForEachRegionInOffsetOrder) {
  const struct { const char* what; std::string layout; std::vector<std::string> rows; } cases[] = {
      {"SIZE without OFFSET gives no row; OFFSET without SIZE an empty size",
       "[kernel]\nSIZE=0x100\n[userland]\nOFFSET=0x100\n", {"0x100||userland"}},
      {"100 and 0x100 share a key and keep their own texts",
       "[kernel]\nOFFSET=0x100\nSIZE=1\n[bootloader]\nOFFSET=0\nSIZE=1\n", {"0|1|bootloader", "0x100|1|kernel"}},
      {"unknown sections are ignored, names match without regard to case",
       "[rootfs]\nOFFSET=0\nSIZE=10\n[KERNEL]\noffset = 0x20 \nsize=\"0x10\"\n", {"0x20|0x10|kernel"}},
      {"an empty OFFSET means no region", "[kernel]\nOFFSET=\nSIZE=10\n[fpga]\nOFFSET=''\n", {}},
      {"offsets as signed 64-bit numbers, beyond 2 GiB and saturated",
       "[kernel]\nOFFSET=0x100000000\n[ipl]\nOFFSET=0x80000000\n[fpga]\nOFFSET=zz\n[image]\nOFFSET=-10\n[config]\n"
       "OFFSET=0x7FFFFFFF\n[free1]\nOFFSET=100\n[license]\nOFFSET=7FFFFFFFFFFFFFFF0\n[firmware]\nOFFSET=-8FFFFFFFFFFFFFFF\n",
       {"-8FFFFFFFFFFFFFFF||firmware", "-10||image", "zz||fpga", "100||free1", "0x7FFFFFFF||config", "0x80000000||ipl",
        "0x100000000||kernel", "7FFFFFFFFFFFFFFF0||license"}},
      {"values cut at 63 bytes of whole characters, in UTF-8",
       "[ipl]\nOFFSET=0\nSIZE=" + std::string(60, '1') + "\x83\x7E\x83\x7E\n", {"0|" + std::string(60, '1') + "ミ|ipl"}},
      {"UTF-8 with a byte-order mark keeps its first section", "\xEF\xBB\xBF[ipl]\nOFFSET=0x0\nSIZE=0x4\n", {"0x0|0x4|ipl"}}};
  testing::TempDir dir;
  const std::string path = dir.Path("レイアウト é \xF0\x9F\x98\x80.conf");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteBytes(path, c.layout);
    const std::optional<std::vector<RegionRow>> rows = LoadLayout(path);
    ASSERT_TRUE(rows);
    EXPECT_EQ(Rows(*rows), c.rows);
  }
  for (const std::string& unreadable : {dir.Path("missing.conf"), dir.Path("")}) EXPECT_FALSE(LoadLayout(unreadable));
}

// Each value is read once, at 64 bits, where its row is made: the numbers that the writer, the check
// and the map use, and whether they fit.
TEST(LoadLayout, ReadsEachValueAsAHexadecimalNumberOf64Bits) {
  const struct { std::string text; std::int64_t value; bool fits = true; } cases[] = {
      {"0x10", 16}, {"", 0}, {"zz", 0}, {"0x" + std::string(31, '0') + "10", 16}, {"-1", -1}, {" +7fffffff ;", 0x7FFFFFFF},
      {"0x80000000", 0x80000000}, {"0x7FFFFFFFFFFFFFFF", INT64_MAX}, {"-0x8000000000000000", INT64_MIN},
      {"0x10000000000000000", INT64_MAX, false}, {"-0x8000000000000001", INT64_MIN, false}};
  for (const auto& c : cases) {
    const std::string offset = c.text.empty() ? "0" : c.text;  // an empty OFFSET would be no region
    const std::vector<RegionRow> rows = LoadLayout(ProfileFile::Parse("[ipl]\nOFFSET=" + offset + "\nSIZE=" + c.text + "\n"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::tuple(rows[0].offset, rows[0].offsetFits, rows[0].size, rows[0].sizeFits), std::tuple(c.value, c.fits, c.value, c.fits))
        << c.text;
  }
}

}  // namespace
}  // namespace quorvel
