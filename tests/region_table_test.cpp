#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex.h"
#include "region_table.h"

namespace quorvel {
namespace {

std::vector<std::string> Offsets(const RegionTable& table) {
  std::vector<std::string> offsets;
  for (int row = 0; row < table.Count(); ++row) offsets.push_back(table.GetCell(row, COL_ADDRESS, 64));
  return offsets;
}

void AppendRegion(RegionTable& table, const std::string& offset, const std::string& name) {
  const int row = table.Count();
  table.Append(offset, ParseHex(offset));
  table.SetCell(row, COL_REGION, name);
}

TEST(CompareOffsets, ComparesAsSigned32BitValues) {
  EXPECT_EQ(CompareOffsets(0, 0), 0);
  EXPECT_EQ(CompareOffsets(-16, 0), -1);
  EXPECT_EQ(CompareOffsets(0x7FFFFFFF, INT32_MIN), 1);
  EXPECT_EQ(CompareOffsets(INT32_MIN, 0x7FFFFFFF), -1);
}

TEST(MemoryRegionTable, SortsByKeyWhateverTheOrderOfInsertion) {
  MemoryRegionTable table;
  AppendRegion(table, "0x200", "kernel");
  AppendRegion(table, "0x0", "ipl");
  AppendRegion(table, "-10", "recovery");
  AppendRegion(table, "100", "bootloader");
  AppendRegion(table, "zz", "config");  // no digits: key 0, shown as written
  table.SortByOffset();
  const std::vector<std::string> offsets = Offsets(table);
  ASSERT_EQ(offsets.size(), 5u);
  EXPECT_EQ(offsets[0], "-10");
  EXPECT_EQ(offsets[3], "100");
  EXPECT_EQ(offsets[4], "0x200");
  EXPECT_EQ(table.Rows()[0].offsetKey, -16);
  // "0x0" and "zz" share key 0; their order is not defined.
  EXPECT_EQ(table.Rows()[1].offsetKey, 0);
  EXPECT_EQ(table.Rows()[2].offsetKey, 0);
}

TEST(MemoryRegionTable, CellsStayWithTheirRowWhenSorted) {
  MemoryRegionTable table;
  AppendRegion(table, "0x100", "kernel");
  table.SetCell(0, COL_SIZE, "0x80");
  table.SetCell(0, COL_IMAGE, "/images/kernel.bin");
  AppendRegion(table, "0x0", "ipl");
  table.SortByOffset();
  EXPECT_EQ(table.GetCell(1, COL_REGION, 256), "kernel");
  EXPECT_EQ(table.GetCell(1, COL_SIZE, 32), "0x80");
  EXPECT_EQ(table.GetCell(1, COL_IMAGE, 4096), "/images/kernel.bin");
  EXPECT_EQ(table.GetCell(0, COL_IMAGE, 4096), "");
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 32), "");
}

TEST(MemoryRegionTable, GetCellCutsToCapacityLessOne) {
  MemoryRegionTable table;
  table.Append("0", 0);
  table.SetCell(0, COL_SIZE, std::string(40, '7'));
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 32), std::string(31, '7'));
  table.SetCell(0, COL_IMAGE, "C:\\イメージ\\a.bin");
  EXPECT_EQ(table.GetCell(0, COL_IMAGE, 5), "C:\\イ");  // characters, not bytes
  EXPECT_EQ(table.GetCell(0, COL_IMAGE, 1), "");
}

TEST(MemoryRegionTable, ClearRemovesEverythingAndAnEmptyTableSorts) {
  MemoryRegionTable table;
  table.SortByOffset();
  EXPECT_EQ(table.Count(), 0);
  AppendRegion(table, "0", "ipl");
  AppendRegion(table, "1", "kernel");
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  table.Append("5", 5);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.GetCell(0, COL_REGION, 256), "");
}

}  // namespace
}  // namespace quorvel
