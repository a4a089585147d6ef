#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/file.h"
#include "files/path.h"
#include "image/image_verify.h"
#include "image/image_writer.h"
#include "layout/layout_loader.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorvel {
namespace {

// What the process holds open: descriptors, or handles on Windows.
size_t OpenHandles() {
#ifdef _WIN32
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return count;
#else
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
#endif
}

TEST(FileAccess, EveryFileIsReadWholeAndClosedWhateverTheOutcome) {
  testing::TempDir dir;
  const std::string layout = "[ipl]\nOFFSET=0\nSIZE=8\n[kernel]\nOFFSET=8\nSIZE=4\n";
  testing::WriteBytes(dir.Path("board.conf"), layout);
  EXPECT_EQ(ReadWholeFile(dir.Path("board.conf"), layout.size()).bytes, layout);
  EXPECT_EQ(ReadWholeFile(dir.Path("board.conf"), layout.size() - 1).status, WholeFile::Status::TooLarge);
  testing::WriteBytes(dir.Path("ipl.bin"), "IPL");
  testing::WriteBytes(dir.Path("big.bin"), "too large");
  testing::RecordingSink sink;
  std::vector<RegionRow> rows = LoadLayout(dir.Path("board.conf")).value();  // once before counting: what the run keeps for good
  rows[0].imagePath = dir.Path("ipl.bin");
  ASSERT_TRUE(GenerateImage(rows, dir.Path("all.bin"), sink));
  const size_t before = OpenHandles();
  for (int round = 0; round < 3; ++round) {
    rows = LoadLayout(dir.Path("board.conf")).value();
    rows[0].imagePath = dir.Path("ipl.bin");
    EXPECT_TRUE(GenerateImage(rows, dir.Path("all.bin"), sink));
    EXPECT_TRUE(VerifyImage(rows, dir.Path("all.bin")));
    rows[1].imagePath = dir.Path("big.bin");
    EXPECT_FALSE(GenerateImage(rows, dir.Path("all.bin"), sink));
  }
  EXPECT_EQ(OpenHandles(), before);
}

#ifdef _WIN32
TEST(FileAccess, PathsReachTheSystemWholeAndResolved) {
  const std::wstring here = std::filesystem::current_path().wstring();
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\x.bin";
  const struct { std::string path; std::wstring system; } cases[] = {
      {"C:\\a\\b.bin", L"\\\\?\\C:\\a\\b.bin"}, {"C:/a/./b/../c.bin", L"\\\\?\\C:\\a\\c.bin"},
      {"\\\\server\\share\\x.bin", L"\\\\?\\UNC\\server\\share\\x.bin"},
      {"\\\\?\\C:\\a\\..\\kept.bin", L"\\\\?\\C:\\a\\..\\kept.bin"},
      {"x.bin", L"\\\\?\\" + here + (here.back() == L'\\' ? L"" : L"\\") + L"x.bin"}, {"NUL", L"\\\\.\\NUL"},
      {deep, L"\\\\?\\" + std::wstring(deep.begin(), deep.end())}};
  for (const auto& c : cases) EXPECT_EQ(SystemPath(c.path), c.system) << c.path;
}
#endif

}  // namespace
}  // namespace quorvel
