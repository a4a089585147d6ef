#include <gtest/gtest.h>

#include <string>

#include "image_verify.h"
#include "layout_loader.h"
#include "test_support.h"

namespace quorvel {
namespace {

// An image checked against ipl (4 bytes, no image), kernel (8 bytes, "KRNL") and fpga (4 bytes, no
// image). Per region: M matches, D<n> differs from byte n on, E<n> ends after n, R unreadable region.
TEST(VerifyImage, ComparesEachRegionInTurn) {
  const std::string good = std::string(4, '\xFF') + "KRNL" + std::string(8, '\xFF');
  const struct { const char* what; std::string image; std::string outcomes; bool allMatch, noKernel = false; } cases[] = {
      {"what the layout calls for", good, "M M M ", true},
      {"a byte changed", good.substr(0, 9) + "x" + good.substr(10), "M D5 M ", false},
      {"cut short", good.substr(0, 10), "M E6 E0 ", false},
      {"one byte too many", good + "x", "M M M ", false},
      {"a region whose image is missing, and the next one still in its place", good, "M R M ", false, true}};
  testing::TempDir dir;
  testing::WriteBytes(dir.Path("kernel.bin"), "KRNL");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryRegionTable table;
    LoadLayout(table, ProfileFile::Parse("[ipl]\nOFFSET=0\nSIZE=4\n[kernel]\nOFFSET=4\nSIZE=8\n[fpga]\nOFFSET=C\nSIZE=4\n"));
    table.SetCell(1, COL_IMAGE, dir.Path(c.noKernel ? "missing.bin" : "kernel.bin"));
    testing::WriteBytes(dir.Path("all.bin"), c.image);
    const auto report = VerifyImage(table, dir.Path("all.bin"));
    ASSERT_TRUE(report);
    std::string outcomes;
    for (const RegionCheck& r : report->regions) {
      const char letter = "MDEUR"[static_cast<int>(r.outcome)];  // in the order of the outcomes
      outcomes += letter + (letter == 'D' || letter == 'E' ? std::to_string(r.at) : "") + " ";
    }
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(report->AllMatch(), c.allMatch);
    EXPECT_EQ(report->expectedSize, 16u);
    EXPECT_FALSE(VerifyImage(table, dir.Path("none.bin")));
  }
}

}  // namespace
}  // namespace quorvel
