#include "reports.h"

#include <cstdio>
#include <ostream>

namespace quorvel {

void StreamSink::ShowMessage(const Message& message) {
  std::string line;
  for (const char c : MessageLine(message, m_language)) {
    if (c != '\r') line += c;
  }
  if (KindOf(message.id) == MessageKind::Error) {
    m_err << line << '\n';
  } else if (!m_quiet) {
    m_out << line << '\n';
  }
}

void PrintRows(const std::vector<RegionRow>& rows, std::ostream& out) {
  for (const RegionRow& row : rows) {
    out << row.offsetText << '\t' << row.sizeText << '\t' << row.regionName << '\t' << row.imagePath << '\n';
  }
}

void PrintFindings(const std::vector<Finding>& findings, const std::string& layoutPath, std::ostream& out, Language language) {
  for (const Finding& f : findings) {
    out << layoutPath << ':' << (f.line > 0 ? std::to_string(f.line) + ":" : std::string()) << ' '
        << (f.region.empty() ? "" : f.region + ": ") << f.text << '\n';
  }
  if (findings.empty()) out << layoutPath << ": " << Say(language, "no findings", "指摘はありません") << '\n';
}

namespace {

std::string Outcome(const RegionCheck& r, Language language) {
  const std::string at = std::to_string(r.at);
  switch (r.outcome) {
    case RegionCheck::Outcome::Matches: return Say(language, "matches", "一致");
    case RegionCheck::Outcome::Differs:
      return Say(language, "DIFFERS from byte {0} of the region", "不一致: リージョンの{0}バイト目から異なります", {at});
    case RegionCheck::Outcome::ImageEnds:
      return Say(language, "DIFFERS: the image ends {0} bytes into the region", "不一致: イメージがリージョンの{0}バイト目で終わっています", {at});
    case RegionCheck::Outcome::ImageUnreadable:
      return Say(language, "DIFFERS: the image cannot be read here", "不一致: イメージをここから読み込めません");
    case RegionCheck::Outcome::RegionUnreadable: break;
  }
  return Say(language, "DIFFERS: {0}", "不一致: {0}", {MessageText(*r.problem, language)});
}

}  // namespace

void PrintVerification(const VerifyReport& report, std::ostream& out, Language language) {
  char line[256];
  for (const RegionCheck& r : report.regions) {
    std::snprintf(line, sizeof line, "%-12s 0x%08llX 0x%08llX  ", r.regionName.c_str(),
                  static_cast<unsigned long long>(r.position), static_cast<unsigned long long>(r.size));
    out << line << Outcome(r, language) << '\n';
  }
  if (report.imageSize != report.expectedSize) {
    out << Say(language, "the image holds {0} bytes{1}, the layout calls for {2}", "イメージは{0}バイト{1}ありますが、レイアウトでは{2}バイトです",
               {std::to_string(report.imageSize), report.imageGoesOn ? Say(language, " or more", "以上") : "",
                std::to_string(report.expectedSize)})
        << '\n';
  }
}

}  // namespace quorvel
