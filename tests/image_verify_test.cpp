#include <gtest/gtest.h>

#include <string>

#include "image_verify.h"
#include "test_support.h"

namespace quorvel {
namespace {

class VerifyTest : public ::testing::Test {
 protected:
  VerifyTest() {
    testing::WriteBytes(m_kernel, "KRNL");
    AddRow("ipl", "4", "");
    AddRow("kernel", "8", m_kernel);
  }
  void AddRow(const std::string& name, const std::string& size, const std::string& image) {
    const int row = m_table.Count();
    m_table.Append("0", 0);
    m_table.SetCell(row, COL_SIZE, size);
    m_table.SetCell(row, COL_REGION, name);
    m_table.SetCell(row, COL_IMAGE, image);
  }
  std::optional<VerifyReport> Verify(const std::string& bytes) {
    testing::WriteBytes(m_image, bytes);
    return VerifyImage(m_table, m_image);
  }

  testing::TempDir m_dir;
  std::string m_kernel = m_dir.Path("kernel.bin");
  std::string m_image = m_dir.Path("all.bin");
  MemoryRegionTable m_table;
};

const std::string kGood = std::string(4, '\xFF') + "KRNL" + std::string(4, '\xFF');

TEST_F(VerifyTest, AnImageThatHoldsWhatTheLayoutCallsFor) {
  const auto report = Verify(kGood);
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->AllMatch());
  EXPECT_EQ(report->expectedSize, 12u);
}

TEST_F(VerifyTest, NamesEachRegionThatDiffers) {
  std::string bad = kGood;
  bad[9] = 0;
  const auto report = Verify(bad);
  ASSERT_TRUE(report);
  EXPECT_FALSE(report->AllMatch());
  EXPECT_TRUE(report->regions[0].matches);
  EXPECT_FALSE(report->regions[1].matches);
  EXPECT_EQ(report->regions[1].detail, "differs from byte 5 of the region on");
}

TEST_F(VerifyTest, AnImageOfTheWrongLength) {
  auto report = Verify(kGood.substr(0, 10));
  ASSERT_TRUE(report);
  EXPECT_FALSE(report->regions[1].matches);
  EXPECT_EQ(report->regions[1].detail, "the image ends 6 bytes into this region");
  report = Verify(kGood + "x");
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->regions[0].matches && report->regions[1].matches);
  EXPECT_FALSE(report->AllMatch());
  EXPECT_EQ(report->imageSize, 13u);
}

TEST_F(VerifyTest, RegionsThatCannotBeComparedAndAnUnreadableImage) {
  m_table.SetCell(1, COL_IMAGE, m_dir.Path("missing.bin"));
  const auto report = Verify(kGood);
  ASSERT_TRUE(report);
  EXPECT_TRUE(report->regions[0].matches);
  EXPECT_EQ(report->regions[1].detail, kMsgCannotOpen);
  EXPECT_FALSE(VerifyImage(m_table, m_dir.Path("none.bin")));
}

}  // namespace
}  // namespace quorvel
