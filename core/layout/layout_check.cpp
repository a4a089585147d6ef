#include "layout/layout_check.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>

#include "base/hex_digits.h"
#include "base/text.h"
#include "text/value_text.h"

namespace quorvel {
namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The region name that a section name was probably meant to be: the same letters without
// separators, or one or two letters off.
std::optional<std::string> MeantRegion(const std::string& name) {
  std::string letters;
  for (const char c : qbase::AsciiLower(name)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) letters += c;
  }
  for (const char* region : kRegionNames) {
    const std::string r = region;
    const size_t allowed = r.size() > 5 ? 2 : 1;
    const size_t apart = letters.size() > r.size() ? letters.size() - r.size() : r.size() - letters.size();
    if (letters == r || (letters.size() >= 3 && apart <= allowed && EditDistance(letters, r) <= allowed)) return r;
  }
  return std::nullopt;
}

// A number as its text would give it: "0x" and its digits, after a minus sign when it is negative.
std::string SignedHex(std::int64_t value) {
  return value < 0 ? "-" + qbase::FormatHex(0 - static_cast<std::uint64_t>(value)) : qbase::FormatHex(static_cast<std::uint64_t>(value));
}

class Checker {
 public:
  Checker(const ProfileFile& profile, const std::vector<RegionRow>& rows, Language language)
      : m_profile(profile), m_rows(rows), m_language(language) {}

  std::vector<Finding> Run(const std::vector<Finding>& imageFindings) {
    CheckSections();
    if (m_rows.empty()) {
      Add("", 0, Say("defines no region: there is nothing to write", "リージョンが一つも定義されていません: 出力するものがありません"));
    }
    CheckMissingOffsets();
    for (const RegionRow& row : m_rows) CheckRegion(row);
    for (const Finding& f : imageFindings) Add(f.region, f.line, f.text);
    CheckPlacement();
    // In the order of the file's lines; those that concern no one line after them.
    std::stable_sort(m_findings.begin(), m_findings.end(), [](const Finding& a, const Finding& b) {
      return (a.line == 0 ? INT_MAX : a.line) < (b.line == 0 ? INT_MAX : b.line);
    });
    if (m_unshown > 0) {
      m_findings.push_back({"", 0, Say("at least {0} more findings are not shown", "ほかに少なくとも{0}件の指摘があります（表示していません）",
                                       {std::to_string(m_unshown)})});
    }
    return std::move(m_findings);
  }

 private:
  // However odd the file, the report stays readable: the first findings only.
  static constexpr size_t kMaxFindings = 100;

  std::string Say(std::string_view english, std::string_view japanese, std::initializer_list<std::string_view> args = {}) const {
    return quorvel::Say(m_language, english, japanese, args);
  }

  void Add(const std::string& region, int line, const std::string& text) {
    if (m_findings.size() < kMaxFindings) {
      m_findings.push_back({region, line, text});
    } else {
      ++m_unshown;
    }
  }

  int HeaderLine(const std::string& region) const {
    int found = 0;
    m_profile.ForEachHeader([&](const std::string& name, int line) {
      if (found == 0 && qbase::AsciiLower(name) == region) found = line;
    });
    return found;
  }

  // Region sections that repeat an earlier one, and sections that look like misspelt regions.
  void CheckSections() {
    std::map<std::string, int> firstLines;  // of the region sections
    m_profile.ForEachHeader([&](const std::string& name, int line) {
      if (const char* region = FindRegionName(name)) {
        const auto [first, isFirst] = firstLines.emplace(region, line);
        if (!isFirst) {
          Add(region, line, Say("section [{0}] repeats the one at line {1} and is ignored",
                                "セクション[{0}]は{1}行目のものと重複しているため無視されます", {name, std::to_string(first->second)}));
        }
      } else if (m_findings.size() < kMaxFindings) {
        if (const std::optional<std::string> meant = MeantRegion(name)) {
          Add(name, line, Say("section [{0}] is not a region name ({1}?) and is ignored",
                              "セクション[{0}]はリージョン名ではないため無視されます（{1}の誤り？）", {name, *meant}));
        }
      }
    });
  }

  // One value of a row, OFFSET or SIZE, its text as the row has it: whether the key is there.
  bool CheckValue(const std::string& region, const char* key, const std::string& text) {
    const std::optional<ProfileFile::Value> value = m_profile.FindValue(region, key);
    if (!value) return false;
    if (value->text.size() > kValueBytes) {
      Add(region, value->line, Say("{0} is longer than 63 characters and is cut there",
                                   "{0}が63文字を超えているため、63文字で切られます", {key}));
    }
    const HexReading reading = ReadHex(text);
    if (!reading.hasDigits) {
      Add(region, value->line, Say("{0} '{1}' has no hexadecimal digits and reads as 0",
                                   "{0} '{1}'に16進数の数字がないため、0と読まれます", {key, value->text}));
    } else if (!reading.rest.empty()) {
      Add(region, value->line, Say("{0} '{1}' has other text after the number: '{2}' is ignored",
                                   "{0} '{1}'の数値の後ろに別の文字があります: '{2}'は無視されます",
                                   {key, value->text, reading.rest}));
    }
    if (!reading.fits) {
      Add(region, value->line, Say("{0} '{1}' does not fit in 64 bits: the image cannot be written",
                                   "{0} '{1}'は64ビットに収まりません: イメージを作成できません", {key, value->text}));
    } else if (!reading.Fits32()) {
      Add(region, value->line, Say("{0} '{1}' needs more than 32 bits: a tool that reads 32 bits takes it as {2}",
                                   "{0} '{1}'は32ビットに収まりません: 32ビットで読むツールでは{2}と読まれます",
                                   {key, value->text, SignedHex(reading.value32)}));
    }
    return true;
  }

  void CheckRegion(const RegionRow& row) {
    const std::string& region = row.regionName;
    CheckValue(region, "OFFSET", row.offsetText);
    if (!CheckValue(region, "SIZE", row.sizeText)) {
      Add(region, HeaderLine(region), Say("has no SIZE: the region takes no bytes of the image",
                                          "SIZEがありません: このリージョンはイメージに1バイトも含まれません"));
    } else if (row.sizeFits && row.size < 0) {
      Add(region, m_profile.FindValue(region, "SIZE")->line,
          Say("SIZE is negative: the image cannot be written", "SIZEが負の値です: イメージを作成できません"));
    }
  }

  // Gaps and overlaps, in row order, where offsets and sizes are numbers that mean what they say:
  // each region against the furthest that the regions before it reach.
  void CheckPlacement() {
    std::optional<std::pair<std::string, std::int64_t>> reach;  // the region that reaches furthest, and its end
    for (const RegionRow& row : m_rows) {
      const std::string& region = row.regionName;
      const std::int64_t start = row.offset;
      if (!row.offsetFits || !row.sizeFits || row.size < 0 || start > INT64_MAX - row.size) continue;
      const std::int64_t end = start + row.size;
      const std::optional<ProfileFile::Value> offsetValue = m_profile.FindValue(region, "OFFSET");
      const int line = offsetValue ? offsetValue->line : 0;
      if (!reach && &row == &m_rows.front() && start > 0) {
        Add(region, line, Say("the first region starts at {0} but the image at 0: positions in the image are {0} below "
                              "flash addresses",
                              "最初のリージョンは{0}から始まりますが、イメージは0から始まります: イメージ内の位置はフラッシュの"
                              "アドレスより{0}小さくなります",
                              {qbase::FormatHex(std::uint64_t(start))}));
      } else if (reach && start > reach->second) {
        Add(region, line, Say("gap of {0} bytes after {1}, which the image closes up: from here on, positions in the "
                              "image are not flash addresses",
                              "{1}の後に{0}バイトの隙間がありますが、イメージでは詰められます: ここから先、イメージ内の位置は"
                              "フラッシュのアドレスと一致しません",
                              {qbase::FormatHex(std::uint64_t(start) - std::uint64_t(reach->second)), reach->first}));
      } else if (reach && start < reach->second) {
        Add(region, line, Say("overlaps {0} by {1} bytes; the image holds both in full, one after the other",
                              "{0}と{1}バイト重なっています: イメージには両方が順に全部入ります",
                              {reach->first, qbase::FormatHex(std::uint64_t(std::min(reach->second, end)) - std::uint64_t(start))}));
      }
      if (!reach || end > reach->second) reach = {region, end};
    }
  }

  // Sections of region names with a SIZE and no OFFSET: they look like regions and are none.
  void CheckMissingOffsets() {
    for (const char* region : kRegionNames) {
      const std::optional<ProfileFile::Value> size = m_profile.FindValue(region, "SIZE");
      if (size && !FindRow(m_rows, region)) {
        Add(region, size->line, Say("has SIZE but no OFFSET: the region does not exist", "SIZEはありますがOFFSETがありません: このリージョンは存在しません"));
      }
    }
  }

  const ProfileFile& m_profile;
  const std::vector<RegionRow>& m_rows;
  Language m_language;
  std::vector<Finding> m_findings;
  size_t m_unshown = 0;
};

}  // namespace

std::vector<Finding> CheckLayout(const ProfileFile& profile, const std::vector<RegionRow>& rows, Language language,
                                 const std::vector<Finding>& imageFindings) {
  return Checker(profile, rows, language).Run(imageFindings);
}

}  // namespace quorvel
