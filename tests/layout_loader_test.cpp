#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

// "offset|size|name" and "|image" if chosen, for every row in table order.
std::vector<std::string> Rows(const MemoryRegionTable& table) {
  std::vector<std::string> rows;
  for (const RegionRow& r : table.Rows()) {
    rows.push_back(r.offsetText + "|" + r.sizeText + "|" + r.regionName + (r.imagePath.empty() ? "" : "|" + r.imagePath));
  }
  return rows;
}

// Each load replaces the table, its image choices too, with the regions sorted by their 64-bit offsets.
TEST(LoadLayout, ReplacesTheTableWithTheRegionsInOffsetOrder) {
  const struct { const char* what; std::string layout; std::vector<std::string> rows; } cases[] = {
      {"SIZE without OFFSET gives no row; OFFSET without SIZE an empty size",
       "[kernel]\nSIZE=0x100\n[userland]\nOFFSET=0x100\n", {"0x100||userland"}},
      {"100 and 0x100 share a key and keep their own texts",
       "[kernel]\nOFFSET=0x100\nSIZE=1\n[bootloader]\nOFFSET=0\nSIZE=1\n", {"0|1|bootloader", "0x100|1|kernel"}},
      {"unknown sections are ignored, names match without regard to case",
       "[rootfs]\nOFFSET=0\nSIZE=10\n[KERNEL]\noffset = 0x20 \nsize=\"0x10\"\n", {"0x20|0x10|kernel"}},
      {"an empty OFFSET means no region", "[kernel]\nOFFSET=\nSIZE=10\n[fpga]\nOFFSET=''\n", {}},
      {"values go in unchecked", "[config]\nOFFSET=-10\nSIZE=lots\n[image]\nOFFSET=zz\nSIZE=-1\n",
       {"-10|lots|config", "zz|-1|image"}},
      {"all twelve regions, the one looked up last sorted first",
       "[bootloader]\nOFFSET=b\n[recovery]\nOFFSET=a\n[kernel]\nOFFSET=9\n[userland]\nOFFSET=8\n[firmware]\nOFFSET=7\n"
       "[license]\nOFFSET=6\n[config]\nOFFSET=5\n[image]\nOFFSET=4\n[fpga]\nOFFSET=3\n[free1]\nOFFSET=2\n[free2]\nOFFSET=1\n"
       "[ipl]\nOFFSET=0\n",
       {"0||ipl", "1||free2", "2||free1", "3||fpga", "4||image", "5||config", "6||license", "7||firmware", "8||userland",
        "9||kernel", "a||recovery", "b||bootloader"}},
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
  MemoryRegionTable table;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteBytes(path, c.layout);
    EXPECT_TRUE(LoadLayout(table, path));
    EXPECT_EQ(Rows(table), c.rows);
    table.Append("0", 0);  // left for the next load to remove, with an image choice
    table.SetCell(0, COL_IMAGE, "/tmp/kernel.bin");
  }
  for (const std::string& unreadable : {dir.Path("missing.conf"), dir.Path("")}) {
    EXPECT_FALSE(LoadLayout(table, unreadable));
    EXPECT_EQ(table.Count(), 0);
    table.Append("0", 0);
  }
}

TEST(MemoryRegionTable, GetCellCutsToCapacityLessOneCharacterAndKeysCompareSigned) {
  EXPECT_EQ(CompareOffsets(INT64_MIN, INT64_MAX), -1);
  EXPECT_EQ(CompareOffsets(5, 5), 0);
  MemoryRegionTable table;
  table.Append("0", 0);
  table.SetCell(0, COL_SIZE, std::string(40, '7'));
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 32), std::string(31, '7'));
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 41), std::string(40, '7'));
  table.SetCell(0, COL_IMAGE, "C:\\イメージ\\a.bin");
  EXPECT_EQ(table.GetCell(0, COL_IMAGE, 5), "C:\\イ");  // characters, not bytes
  EXPECT_EQ(table.GetCell(0, COL_REGION, 1), "");
}

}  // namespace
}  // namespace quorvel
