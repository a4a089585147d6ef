#include "layout_check.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "file_access.h"
#include "hex.h"
#include "layout_loader.h"
#include "text.h"

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
  for (const char c : AsciiLower(name)) {
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

class Checker {
 public:
  Checker(const ProfileFile& profile, const RegionTable& table) : m_profile(profile), m_table(table) {}

  std::vector<Finding> Run() {
    CheckSections();
    if (m_table.Count() == 0) Add("", 0, "defines no region: there is nothing to write");
    for (int row = 0; row < m_table.Count(); ++row) CheckRegion(row);
    CheckPlacement();
    if (m_unshown > 0) m_findings.push_back({"", 0, "at least " + std::to_string(m_unshown) + " more findings are not shown"});
    return std::move(m_findings);
  }

 private:
  // However odd the file, the report stays readable: the first findings only.
  static constexpr size_t kMaxFindings = 100;

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
      if (found == 0 && AsciiLower(name) == region) found = line;
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
          Add(region, line, "section [" + name + "] repeats the one at line " + std::to_string(first->second) +
                                " and is ignored");
        }
      } else if (m_findings.size() < kMaxFindings) {
        if (const std::optional<std::string> meant = MeantRegion(name)) {
          Add(name, line, "section [" + name + "] is not a region name (" + *meant + "?) and is ignored");
        }
      }
    });
  }

  // One value, OFFSET or SIZE: its reading as a number, without its rest. None when the key is missing.
  std::optional<HexReading> CheckValue(const std::string& region, const char* key) {
    const std::optional<ProfileFile::Value> value = m_profile.FindValue(region, key);
    if (!value) return std::nullopt;
    const std::string shown = "'" + value->text + "'";
    if (value->text.size() > kValueCapacity - 1) {
      Add(region, value->line, std::string(key) + " is longer than 63 characters and is cut there");
    }
    // The reading's rest is a view into the text: the text must outlive it.
    const std::string text = m_table.GetCell(RowOf(region), key[0] == 'O' ? COL_ADDRESS : COL_SIZE, kValueCapacity);
    const HexReading reading = ReadHex(text);
    if (!reading.hasDigits) {
      Add(region, value->line, std::string(key) + " " + shown + " has no hexadecimal digits and reads as 0");
    } else if (!reading.rest.empty()) {
      Add(region, value->line, std::string(key) + " " + shown + " has other text after the number: '" +
                                   std::string(reading.rest) + "' is ignored");
    }
    HexReading number = reading;
    number.rest = {};
    return number;
  }

  int RowOf(const std::string& region) const {
    for (int row = 0; row < m_table.Count(); ++row) {
      if (m_table.GetCell(row, COL_REGION, kRegionNameCapacity) == region) return row;
    }
    return -1;
  }

  void CheckRegion(int row) {
    const std::string region = m_table.GetCell(row, COL_REGION, kRegionNameCapacity);
    CheckValue(region, "OFFSET");
    const std::optional<HexReading> size = CheckValue(region, "SIZE");
    if (!size) {
      Add(region, HeaderLine(region), "has no SIZE: the region takes no bytes of the image");
    } else if (size->value < 0) {
      Add(region, m_profile.FindValue(region, "SIZE")->line, "SIZE is negative: the image cannot be written");
    }
    const std::string image = m_table.GetCell(row, COL_IMAGE, kImagePathCapacity);
    if (image.empty()) return;
    const std::optional<File> file = File::OpenForReading(image);
    const std::optional<std::uint64_t> bytes = file ? file->Size() : std::nullopt;
    const std::uint64_t regionBytes = size && size->value > 0 ? static_cast<std::uint64_t>(size->value) : 0;
    if (!bytes) {
      Add(region, 0, "the image file '" + image + "' cannot be opened");
    } else if (*bytes > regionBytes) {
      Add(region, 0, "the image file '" + image + "' (" + std::to_string(*bytes) + " bytes) is larger than the region (" +
                         std::to_string(regionBytes) + " bytes)");
    }
  }

  // Gaps and overlaps, in table order, where offsets and sizes are numbers that mean what they say.
  void CheckPlacement() {
    std::optional<std::pair<std::string, std::int64_t>> previous;  // name and end address
    for (int row = 0; row < m_table.Count(); ++row) {
      const std::string region = m_table.GetCell(row, COL_REGION, kRegionNameCapacity);
      const std::string offsetText = m_table.GetCell(row, COL_ADDRESS, kValueCapacity);
      const std::string sizeText = m_table.GetCell(row, COL_SIZE, kValueCapacity);
      const std::int64_t start = ParseHex64(offsetText);
      const HexReading size = ReadHex(sizeText);
      if (start > INT64_MAX - INT32_MAX || start < INT64_MIN + INT32_MAX || size.value < 0) {
        previous.reset();
        continue;
      }
      const std::optional<ProfileFile::Value> offsetValue = m_profile.FindValue(region, "OFFSET");
      const int line = offsetValue ? offsetValue->line : 0;
      if (!previous && row == 0 && start > 0) {
        Add(region, line, "the first region starts at " + FormatHex(std::uint64_t(start)) +
                              " but the image at 0: positions in the image are " + FormatHex(std::uint64_t(start)) +
                              " below flash addresses");
      } else if (previous && start > previous->second) {
        Add(region, line, "gap of " + FormatHex(std::uint64_t(start - previous->second)) + " bytes after " + previous->first +
                              ", which the image closes up: from here on, positions in the image are not flash addresses");
      } else if (previous && start < previous->second) {
        Add(region, line, "overlaps " + previous->first + " by " + FormatHex(std::uint64_t(previous->second - start)) +
                              " bytes; the image holds both in full, one after the other");
      }
      previous = {region, start + size.value};
    }
  }

  const ProfileFile& m_profile;
  const RegionTable& m_table;
  std::vector<Finding> m_findings;
  size_t m_unshown = 0;
};

}  // namespace

std::vector<Finding> CheckLayout(const ProfileFile& profile, const RegionTable& table) {
  return Checker(profile, table).Run();
}

}  // namespace quorvel
