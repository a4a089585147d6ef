#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout_check.h"
#include "layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

struct CheckCase {
  const char* what;
  std::string layout;
  std::vector<std::string> findings;  // "region:line:words of the text", in order
};

class CheckLayoutTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckLayoutTest, ReportsWhatTheImageWouldDoSilently) {
  const ProfileFile profile = ProfileFile::Parse(GetParam().layout);
  MemoryRegionTable table;
  LoadLayout(table, profile);
  std::vector<std::string> found;
  for (const Finding& f : CheckLayout(profile, table)) found.push_back(f.region + ":" + std::to_string(f.line) + ":" + f.text);
  ASSERT_EQ(found.size(), GetParam().findings.size()) << ::testing::PrintToString(found);
  for (size_t i = 0; i < found.size(); ++i) {
    const std::string& want = GetParam().findings[i];
    const size_t cut = want.find(':', want.find(':') + 1) + 1;
    EXPECT_EQ(found[i].substr(0, cut), want.substr(0, cut));
    EXPECT_NE(found[i].find(want.substr(cut)), std::string::npos) << found[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CheckLayoutTest,
    ::testing::Values(
        CheckCase{"a sound layout", "[ipl]\nOFFSET=0\nSIZE=0x100\n[kernel]\nOFFSET=0x100\nSIZE=0x100\n", {}},
        CheckCase{"a gap", "[ipl]\nOFFSET=0\nSIZE=0x100\n[kernel]\nOFFSET=0x180\nSIZE=0x100\n",
                  {"kernel:5:gap of 0x80 bytes after ipl"}},
        CheckCase{"an overlap", "[ipl]\nOFFSET=0\nSIZE=0x100\n[kernel]\nOFFSET=0xF0\nSIZE=0x100\n",
                  {"kernel:5:overlaps ipl by 0x10 bytes"}},
        CheckCase{"regions inside another, and one after them",
                  "[kernel]\nOFFSET=0\nSIZE=0x1000\n[userland]\nOFFSET=0x10\nSIZE=0x10\n[config]\nOFFSET=0x100\nSIZE=0x10\n"
                  "[image]\nOFFSET=0x1100\nSIZE=1\n",
                  {"userland:5:overlaps kernel by 0x10 bytes", "config:8:overlaps kernel by 0x10 bytes",
                   "image:11:gap of 0x100 bytes after kernel"}},
        CheckCase{"a SIZE without an OFFSET", "[ipl]\nOFFSET=0\nSIZE=1\n[fpga]\nSIZE=0x100\n", {"fpga:5:has SIZE but no OFFSET"}},
        CheckCase{"an image that does not start at 0", "[kernel]\nOFFSET=0x1000\nSIZE=0x10\n",
                  {"kernel:2:the first region starts at 0x1000"}},
        CheckCase{"misspelt sections; other letter case is fine",
                  "[KERNEL]\nOFFSET=0\nSIZE=1\n[kernal]\nOFFSET=1\n[boot_loader]\nOFFSET=2\n[rootfs]\nOFFSET=3\n",
                  {"kernal:4:not a region name (kernel?)", "boot_loader:6:not a region name (bootloader?)"}},
        CheckCase{"a repeated section", "[ipl]\nOFFSET=0\nSIZE=1\n[ipl]\nSIZE=2\n", {"ipl:4:repeats the one at line 1"}},
        CheckCase{"no SIZE", "[ipl]\nOFFSET=0\n", {"ipl:1:has no SIZE"}},
        CheckCase{"values without digits or with text after them",
                  "[ipl]\nOFFSET=0\nSIZE=lots\n[kernel]\nOFFSET=0x4 ; after ipl\nSIZE=4\n",
                  {"ipl:3:SIZE 'lots' has no hexadecimal digits", "kernel:5:' ; after ipl' is ignored",
                   "kernel:5:gap of 0x4 bytes after ipl"}},
        CheckCase{"a value cut at 63 characters",
                  "[ipl]\nOFFSET=0\nSIZE=0x" + std::string(62, '0') + "1\n", {"ipl:3:longer than 63 characters"}},
        CheckCase{"a value of exactly 63 characters", "[ipl]\nOFFSET=0\nSIZE=0x" + std::string(60, '0') + "1\n", {}},
        CheckCase{"misspellings up to two letters off, one for short names",
                  "[ipl]\nOFFSET=0\nSIZE=1\n[bootloadxx]\n[bootlxxxer]\n[imagx]\n[imxgx]\n",
                  {"bootloadxx:4:(bootloader?)", "imagx:6:(image?)"}},
        CheckCase{"offsets beyond 2 GiB in address order",
                  "[fpga]\nOFFSET=0x80000001\nSIZE=1\n[ipl]\nOFFSET=0x80000000\nSIZE=1\n",
                  {"ipl:5:the first region starts at 0x80000000"}},
        CheckCase{"no region at all", "[rootfs]\nOFFSET=0\n", {":0:defines no region"}},
        CheckCase{"a negative size", "[ipl]\nOFFSET=0\nSIZE=-1\n", {"ipl:3:SIZE is negative"}},
        CheckCase{"lines counted across CR LF, CR and LF", "[ipl]\r\nOFFSET=0\r\rSIZE=1\n\n[kernel]\nOFFSET=2\nSIZE=1\n",
                  {"kernel:7:gap of 0x1 bytes after ipl"}}),
    testing::NameFromWhat{});

TEST(CheckLayout, AnAssignedImageLargerThanItsRegion) {
  testing::TempDir dir;
  const std::string image = dir.Path("kernel.bin");
  testing::WriteBytes(image, "12345");
  const ProfileFile profile = ProfileFile::Parse("[kernel]\nOFFSET=0\nSIZE=4\n");
  MemoryRegionTable table;
  LoadLayout(table, profile);
  table.SetCell(0, COL_IMAGE, image);
  std::vector<Finding> findings = CheckLayout(profile, table);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_NE(findings[0].text.find("(5 bytes) is larger than the region (4 bytes)"), std::string::npos);
  table.SetCell(0, COL_IMAGE, dir.Path("missing.bin"));
  findings = CheckLayout(profile, table);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_NE(findings[0].text.find("cannot be opened"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
