#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "image/image_check.h"
#include "layout/layout_check.h"
#include "layout/layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

// What a layout and its image choices would do silently: each finding as "region:line:words of its
// text", in order. The image, when given, is chosen for the first region as image.mot (records if it
// holds them); an empty one does not exist.
TEST(CheckLayout, ReportsWhatTheImageWouldDoSilently) {
  struct { const char* what; std::string ini; std::vector<std::string> want; std::optional<std::string> image{}; } cases[] = {
      {"regions inside another, and one after them",
       "[kernel]\nOFFSET=0\nSIZE=0x1000\n[userland]\nOFFSET=0x10\nSIZE=0x10\n[config]\nOFFSET=0x100\nSIZE=0x10\n"
       "[image]\nOFFSET=0x1100\nSIZE=1\n",
       {"userland:5:overlaps kernel by 0x10 bytes", "config:8:overlaps kernel by 0x10 bytes",
        "image:11:gap of 0x100 bytes after kernel"}},
      {"an image that does not start at 0", "[kernel]\nOFFSET=0x1000\nSIZE=0x10\n",
       {"kernel:2:the first region starts at 0x1000"}},
      {"a SIZE without an OFFSET, a repeated section, no SIZE, a negative size",
       "[ipl]\nOFFSET=0\nSIZE=1\n[fpga]\nSIZE=0x100\n[ipl]\nSIZE=2\n[kernel]\nOFFSET=1\n[config]\nOFFSET=1\nSIZE=-1\n",
       {"fpga:5:has SIZE but no OFFSET", "ipl:6:repeats the one at line 1", "kernel:8:has no SIZE", "config:12:SIZE is negative"}},
      {"values without digits or with text after them",
       "[ipl]\nOFFSET=0\nSIZE=lots\n[kernel]\nOFFSET=0x4 ; after ipl\nSIZE=4\n",
       {"ipl:3:SIZE 'lots' has no hexadecimal digits", "kernel:5:' ; after ipl' is ignored",
        "kernel:5:gap of 0x4 bytes after ipl"}},
      {"a value of exactly 63 characters, and one cut there",
       "[ipl]\nOFFSET=0x" + std::string(61, '0') + "\nSIZE=0x" + std::string(62, '0') + "1\n", {"ipl:3:longer than 63 characters"}},
      {"misspellings up to two letters off, one for short names; other letter case is fine",
       "[IPL]\nOFFSET=0\nSIZE=1\n[bootloadxx]\n[bootlxxxer]\n[imagx]\n[imxgx]\n[zzzipl]\n",
       {"bootloadxx:4:not a region name (bootloader?)", "imagx:6:(image?)"}},
      {"values beyond 2 GiB, read at 64 bits, and what a tool that reads 32 bits would make of them",
       "[fpga]\nOFFSET=0xFFFFFFFF\nSIZE=1\n[ipl]\nOFFSET=0x80000000\nSIZE=0x80000000\n[kernel]\nOFFSET=-0x80000001\nSIZE=0x10\n",
       {"fpga:2:OFFSET '0xFFFFFFFF' needs more than 32 bits: a tool that reads 32 bits takes it as 0x7FFFFFFF",
        "fpga:2:overlaps ipl by 0x1 bytes", "ipl:5:OFFSET '0x80000000' needs more than 32 bits", "ipl:5:gap of 0xFFFFFFF1 bytes after kernel",
        "ipl:6:SIZE '0x80000000' needs more than 32 bits", "kernel:8:takes it as -0x80000000"}},
      {"values beyond 64 bits", "[ipl]\nOFFSET=0\nSIZE=0x10000000000000000\n[kernel]\nOFFSET=-0x8000000000000001\nSIZE=1\n",
       {"ipl:3:SIZE '0x10000000000000000' does not fit in 64 bits: the image cannot be written",
        "kernel:5:OFFSET '-0x8000000000000001' does not fit in 64 bits"}},
      {"an image larger than its region", "[kernel]\nOFFSET=0\nSIZE=4\n",
       {"kernel:0:(5 bytes) is larger than the region (4 bytes)"}, "12345"},
      {"an image that does not exist", "[kernel]\nOFFSET=0\nSIZE=4\n", {"kernel:0:cannot be opened"}, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    const ProfileFile profile = ProfileFile::Parse(c.ini);
    std::vector<RegionRow> rows = LoadLayout(profile);
    if (c.image && !c.image->empty()) testing::WriteBytes(dir.Path("image.mot"), *c.image);
    if (c.image) rows[0].imagePath = dir.Path("image.mot");
    // A finding that starts as the one expected in its place and holds its words stands as that one.
    std::vector<std::string> found;
    for (const Finding& f : CheckLayout(profile, rows, Language::English, CheckImages(rows, 0, Language::English))) {
      const std::string text = f.region + ":" + std::to_string(f.line) + ":" + f.text;
      const std::string want = found.size() < c.want.size() ? c.want[found.size()] : text;
      const size_t cut = want.find(':', want.find(':') + 1) + 1;
      const bool same = text.starts_with(want.substr(0, cut)) && text.find(want.substr(cut), cut) != std::string::npos;
      found.push_back(same ? want : text);
    }
    EXPECT_EQ(found, c.want);
  }
}

}  // namespace
}  // namespace quorvel
