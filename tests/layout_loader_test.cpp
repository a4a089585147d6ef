#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

using testing::TempDir;

// "offset|size|name" for every row, in table order.
std::vector<std::string> Rows(const MemoryRegionTable& table) {
  std::vector<std::string> rows;
  for (const RegionRow& r : table.Rows()) {
    rows.push_back(r.offsetText + "|" + r.sizeText + "|" + r.regionName + (r.imagePath.empty() ? "" : "|" + r.imagePath));
  }
  return rows;
}

struct LoaderCase {
  const char* what;
  std::string layout;
  std::vector<std::string> rows;
};

class LoadLayoutTest : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(LoadLayoutTest, BuildsTheSortedTable) {
  TempDir dir;
  const std::string path = dir.Path("レイアウト é \xF0\x9F\x98\x80.conf");
  testing::WriteBytes(path, GetParam().layout);
  MemoryRegionTable table;
  EXPECT_TRUE(LoadLayout(table, path));
  EXPECT_EQ(Rows(table), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LoadLayoutTest,
    ::testing::Values(
        LoaderCase{"SIZE without OFFSET gives no row; OFFSET without SIZE an empty size",
                   "[kernel]\nSIZE=0x100\n[userland]\nOFFSET=0x100\n", {"0x100||userland"}},
        LoaderCase{"100 and 0x100 share a key and keep their own texts",
                   "[kernel]\nOFFSET=0x100\nSIZE=1\n[bootloader]\nOFFSET=0\nSIZE=1\n",
                   {"0|1|bootloader", "0x100|1|kernel"}},
        LoaderCase{"unknown sections are ignored, names match without regard to case",
                   "[rootfs]\nOFFSET=0\nSIZE=10\n[KERNEL]\noffset = 0x20 \nsize=\"0x10\"\n", {"0x20|0x10|kernel"}},
        LoaderCase{"an empty OFFSET means no region", "[kernel]\nOFFSET=\nSIZE=10\n[fpga]\nOFFSET=''\n", {}},
        LoaderCase{"values go in unchecked", "[config]\nOFFSET=-10\nSIZE=lots\n[image]\nOFFSET=zz\nSIZE=-1\n",
                   {"-10|lots|config", "zz|-1|image"}},
        LoaderCase{"all twelve regions, the one looked up last sorted first",
                   "[bootloader]\nOFFSET=b\n[recovery]\nOFFSET=a\n[kernel]\nOFFSET=9\n[userland]\nOFFSET=8\n"
                   "[firmware]\nOFFSET=7\n[license]\nOFFSET=6\n[config]\nOFFSET=5\n[image]\nOFFSET=4\n"
                   "[fpga]\nOFFSET=3\n[free1]\nOFFSET=2\n[free2]\nOFFSET=1\n[ipl]\nOFFSET=0\n",
                   {"0||ipl", "1||free2", "2||free1", "3||fpga", "4||image", "5||config", "6||license", "7||firmware",
                    "8||userland", "9||kernel", "a||recovery", "b||bootloader"}},
        LoaderCase{"UTF-8 with a byte-order mark keeps its first section",
                   "\xEF\xBB\xBF[ipl]\nOFFSET=0x0\nSIZE=0x4\n", {"0x0|0x4|ipl"}}),
    testing::NameFromWhat{});

// Each load replaces the table: the rows and their image choices go, whatever the file holds, and a
// file that cannot be read says so.
TEST(LoadLayout, ReplacesTheTableWhateverTheFile) {
  TempDir dir;
  testing::WriteBytes(dir.Path("first.conf"), "[kernel]\nOFFSET=0\nSIZE=4\n[ipl]\nOFFSET=4\nSIZE=4\n");
  testing::WriteBytes(dir.Path("empty.conf"), "[rootfs]\nOFFSET=0\n");
  MemoryRegionTable table;
  ASSERT_TRUE(LoadLayout(table, dir.Path("first.conf")));
  table.SetCell(0, COL_IMAGE, "/tmp/kernel.bin");
  ASSERT_TRUE(LoadLayout(table, dir.Path("first.conf")));
  EXPECT_EQ(Rows(table), (std::vector<std::string>{"0|4|kernel", "4|4|ipl"}));
  EXPECT_TRUE(LoadLayout(table, dir.Path("empty.conf")));
  EXPECT_EQ(table.Count(), 0);
  for (const std::string& unreadable : {dir.Path("missing.conf"), dir.Path("")}) {
    table.Append("0", 0);
    EXPECT_FALSE(LoadLayout(table, unreadable));
    EXPECT_EQ(table.Count(), 0);
  }
}

}  // namespace
}  // namespace quorvel
