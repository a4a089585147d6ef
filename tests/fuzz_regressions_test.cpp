// Every input a fuzzer once broke, run again through the same code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/fuzz_bodies.h"
#include "test_support.h"

namespace quorvel {
namespace {

void ReplayFolder(const std::string& folder, void (*body)(const std::uint8_t*, size_t)) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing::FsPath(testing::DataPath(folder)))) {
    const std::string bytes = testing::ReadBytes(testing::Utf8Path(entry.path()));
    SCOPED_TRACE(testing::Utf8Path(entry.path().filename()));
    body(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressions, LayoutInputs) { ReplayFolder("fuzz-regressions/layout", &fuzz::LayoutInput); }
TEST(FuzzRegressions, HexInputs) { ReplayFolder("fuzz-regressions/hex", &fuzz::HexInput); }

}  // namespace
}  // namespace quorvel
