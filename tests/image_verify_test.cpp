#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "image_verify.h"
#include "test_support.h"

namespace quorvel {
namespace {

const std::string kGood = std::string(4, '\xFF') + "KRNL" + std::string(4, '\xFF') + std::string(4, '\xFF');

struct VerifyCase {
  const char* what;
  std::string image;
  std::string outcomes;  // per region: M matches, D<n> differs from byte n, E<n> ends after n, R unreadable region
  bool allMatch;
  std::function<void(MemoryRegionTable&)> change = nullptr;
};

class VerifyTest : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyTest, ComparesEachRegionInTurn) {
  testing::TempDir dir;
  testing::WriteBytes(dir.Path("kernel.bin"), "KRNL");
  MemoryRegionTable table;
  for (const auto& [name, size, image] : {std::tuple{"ipl", "4", ""}, {"kernel", "8", "kernel.bin"}, {"fpga", "4", ""}}) {
    const int row = table.Count();
    table.Append("0", 0);
    table.SetCell(row, COL_SIZE, size);
    table.SetCell(row, COL_REGION, name);
    table.SetCell(row, COL_IMAGE, *image ? dir.Path(image) : "");
  }
  if (GetParam().change) GetParam().change(table);
  testing::WriteBytes(dir.Path("all.bin"), GetParam().image);
  const auto report = VerifyImage(table, dir.Path("all.bin"));
  ASSERT_TRUE(report);
  std::string outcomes;
  for (const RegionCheck& r : report->regions) {
    switch (r.outcome) {
      case RegionCheck::Outcome::Matches: outcomes += "M "; break;
      case RegionCheck::Outcome::Differs: outcomes += "D" + std::to_string(r.at) + " "; break;
      case RegionCheck::Outcome::ImageEnds: outcomes += "E" + std::to_string(r.at) + " "; break;
      case RegionCheck::Outcome::ImageUnreadable: outcomes += "U "; break;
      case RegionCheck::Outcome::RegionUnreadable: outcomes += "R "; break;
    }
  }
  EXPECT_EQ(outcomes, GetParam().outcomes);
  EXPECT_EQ(report->AllMatch(), GetParam().allMatch);
  EXPECT_EQ(report->expectedSize, 16u);
  EXPECT_FALSE(VerifyImage(table, dir.Path("none.bin")));
}

INSTANTIATE_TEST_SUITE_P(
    Images, VerifyTest,
    ::testing::Values(
        VerifyCase{"what the layout calls for", kGood, "M M M ", true},
        VerifyCase{"a byte changed", kGood.substr(0, 9) + "x" + kGood.substr(10), "M D5 M ", false},
        VerifyCase{"cut short", kGood.substr(0, 10), "M E6 E0 ", false},
        VerifyCase{"one byte too many", kGood + "x", "M M M ", false},
        VerifyCase{"a region whose image is missing, and the next one still in its place", kGood, "M R M ", false,
                   [](MemoryRegionTable& rows) { rows.SetCell(1, COL_IMAGE, rows.GetCell(1, COL_IMAGE, 4096) + ".missing"); }}),
    testing::NameFromWhat{});

}  // namespace
}  // namespace quorvel
