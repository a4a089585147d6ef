#include <gtest/gtest.h>

#include <string>

#include "hex.h"
#include "region_table.h"

namespace quorvel {
namespace {

// Rows go in out of order; sorted, they stand by their 64-bit keys, negative first, each with its
// own cells; a row's text is its own whatever its key.
TEST(MemoryRegionTable, SortsByKeyAndKeepsEachRowsCells) {
  MemoryRegionTable table;
  for (const char* offset : {"0x100000000", "0x80000000", "zz", "-10", "0x7FFFFFFF", "100"}) {
    const int row = table.Count();
    table.Append(offset, ParseHex64(offset));
    table.SetCell(row, COL_IMAGE, std::string("image of ") + offset);
  }
  table.SortByOffset();
  std::string order;
  for (int row = 0; row < table.Count(); ++row) {
    order += table.GetCell(row, COL_ADDRESS, kValueCapacity) + "=" + table.GetCell(row, COL_IMAGE, kImagePathCapacity) + " ";
  }
  EXPECT_EQ(order, "-10=image of -10 zz=image of zz 100=image of 100 0x7FFFFFFF=image of 0x7FFFFFFF "
                   "0x80000000=image of 0x80000000 0x100000000=image of 0x100000000 ");
  EXPECT_EQ(CompareOffsets(INT64_MIN, INT64_MAX), -1);
  EXPECT_EQ(CompareOffsets(5, 5), 0);
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  table.SortByOffset();
}

TEST(MemoryRegionTable, GetCellCutsToCapacityLessOneCharacter) {
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
