// How paths reach the Windows system: whole, resolved, in the \\?\ form that no length limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/path.h"

namespace quorvel {
namespace {

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
