// Every recorded answer of the Windows profile-string function, replayed through our look-up.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "file_access.h"
#include "profile.h"
#include "test_support.h"

namespace quorvel {
namespace {

// \\ \t \r \n and \xHH, as the table writes bytes.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 't') out += '\t';
    else if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 'x') out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
    else out += c;
  }
  return out;
}

struct Row {
  int line = 0;
  std::string file, section, key, value, flags;
  int ret = 0;
};

std::vector<Row> ReadTable() {
  std::istringstream in(testing::ReadBytes(testing::DataPath("ini-cases/expected.tsv")));
  std::vector<Row> rows;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (number == 1) continue;  // header
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    fields.resize(6);
    rows.push_back({number, fields[0], Unescape(fields[1]), Unescape(fields[2]), Unescape(fields[4]), fields[5],
                    std::stoi(fields[3])});
  }
  return rows;
}

// Where we answer differently from the recording, on purpose.
std::string Expected(const Row& row) {
  // Wine drops the last character of a quoted value of exactly 63 characters; Windows does not.
  if (row.flags.find("S-quote63") != std::string::npos) return row.value + "2";
  // Wine leaves a byte of the caller's buffer behind a double-byte character that did not fit;
  // the clean answer stops after the last whole character.
  if (row.flags.find("stale") != std::string::npos) return row.value.substr(0, row.value.size() - 1);
  return row.value;
}

TEST(ProfileCorpus, AnswersEveryRecordedLookUp) {
  const std::vector<Row> rows = ReadTable();
  ASSERT_EQ(rows.size(), 361u);
  std::map<std::string, ProfileFile> files;
  int checked = 0;
  for (const Row& row : rows) {
    // A bare file name is looked for in the Windows folder; the loader always has a full path.
    if (row.file == "51_bare_name.ini") continue;
    SCOPED_TRACE("expected.tsv line " + std::to_string(row.line) + ": " + row.file + " [" + row.section + "] " +
                 row.key + " " + row.flags);
    ASSERT_EQ(row.ret, static_cast<int>(row.value.size())) << "the table's own count";
    if (!files.count(row.file)) {
      const WholeFile whole = ReadWholeFile(testing::DataPath("ini-cases/" + row.file), UINT64_MAX);
      files[row.file] = ProfileFile::Parse(whole.bytes);
    }
    EXPECT_EQ(files[row.file].LookupAnsi(row.section, row.key, 64), Expected(row));
    ++checked;
  }
  EXPECT_EQ(checked, 360);
}

TEST(ProfileCorpus, MissingFileAndFolderReadAsEmpty) {
  EXPECT_EQ(ReadWholeFile(testing::DataPath("ini-cases/cases/49_missing.ini"), 100).status, WholeFile::Status::Unreadable);
  EXPECT_EQ(ReadWholeFile(testing::DataPath("ini-cases/cases/50_dir.ini"), 100).status, WholeFile::Status::Unreadable);
}

TEST(ProfileLookup, Utf8AnswersAreTheAnsiAnswersConverted) {
  const ProfileFile profile = ProfileFile::Parse("[\x90\xDD\x92\xE8]\r\nv=\x83\x7E\x83\x8B\r\nlong=" +
                                                 std::string(40, 'x') + "\x83\x7E\x83\x7E\r\n");
  EXPECT_EQ(profile.Lookup("設定", "v", 64), "ミル");
  EXPECT_EQ(profile.LookupAnsi("\x90\xDD\x92\xE8", "v", 64), "\x83\x7E\x83\x8B");
  // 40 + 2 + 2 bytes: with a capacity of 44 the last character does not fit.
  EXPECT_EQ(profile.Lookup("設定", "long", 44), std::string(40, 'x') + "ミ");
  EXPECT_EQ(profile.Lookup("設定", "long", 0), "");
}

}  // namespace
}  // namespace quorvel
