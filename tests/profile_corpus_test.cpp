// Every recorded answer of the Windows profile-string function, replayed through our look-up; and
// every input of the fuzzers' corpus (edge cases, and inputs that a fuzzer once broke) run again
// through the same code, the value texts against the C library's strtoll.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "files/file.h"
#include "fuzz/fuzz_bodies.h"
#include "layout/profile.h"
#include "test_support.h"
#include "text/cp932.h"

namespace quorvel {
namespace {

// \\ \t \r \n and \xHH, as the table writes bytes.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : '\0';
    if (c == 'x') out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
    else out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c ? c : text[i];
  }
  return out;
}

// Text in code page 932, as the look-up's names and answers are in UTF-8.
std::string Utf8(const std::string& bytes) { return qbase::Utf16ToUtf8(DecodeCp932(bytes)); }

// Every row of the table: file, section, key, count, value, flags. Where we answer differently from
// the recording, on purpose: Wine drops the last character of a quoted value of exactly 63
// characters, which Windows keeps (S-quote63); and it leaves a byte of the caller's buffer behind a
// double-byte character that did not fit, where the clean answer stops after the last whole
// character (stale). A bare file name (51) is looked for in the Windows folder; the loader always
// has a full path.
TEST(ProfileCorpus, AnswersEveryRecordedLookUp) {
  std::istringstream table(testing::ReadBytes(testing::DataPath("ini-cases/expected.tsv")));
  std::map<std::string, ProfileFile> files;
  int checked = 0;
  std::string line;
  std::getline(table, line);  // the header
  for (int number = 2; std::getline(table, line); ++number) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) f.push_back(cell);
    f.resize(6);
    if (f[0] == "51_bare_name.ini") continue;
    SCOPED_TRACE("expected.tsv line " + std::to_string(number) + ": " + line);
    std::string value = Unescape(f[4]);
    ASSERT_EQ(std::stoi(f[3]), static_cast<int>(value.size())) << "the table's own count";
    if (f[5].find("S-quote63") != std::string::npos) value += "2";
    if (f[5].find("stale") != std::string::npos) value.pop_back();
    auto [file, added] = files.try_emplace(f[0]);
    if (added) file->second = ProfileFile::Parse(ReadWholeFile(testing::DataPath("ini-cases/" + f[0]), UINT64_MAX).bytes);
    EXPECT_EQ(file->second.Lookup(Utf8(Unescape(f[1])), Utf8(Unescape(f[2])), 64), Utf8(value));
    ++checked;
  }
  EXPECT_EQ(checked, 360);
}

TEST(FuzzRegressions, EveryInputRunsThroughItsFuzzerAgain) {
  for (const auto& [folder, body] : {std::pair{"layout", &fuzz::LayoutInput}, {"hex", &fuzz::HexInput}}) {
    int replayed = 0;
    const std::string path = testing::DataPath("fuzz-regressions/") + folder;
    for (const auto& entry : std::filesystem::directory_iterator(testing::FsPath(path))) {
      const std::string bytes = testing::ReadBytes(testing::Utf8Path(entry.path()));
      SCOPED_TRACE(testing::Utf8Path(entry.path().filename()));
      body(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
    EXPECT_GT(replayed, 0) << folder;
  }
}

}  // namespace
}  // namespace quorvel
