#pragma once
// What the tool prints, in its language: the messages of the core, the rows (--list), the findings
// of a check (--check) and the comparison with an existing image (--verify).

#include <iosfwd>
#include <string>
#include <vector>

#include "image/image_verify.h"
#include "layout/layout_check.h"
#include "layout/region_row.h"
#include "text/language.h"
#include "text/messages.h"

namespace quorvel {

// Errors on err always, plain messages on out unless quiet; after the text, the file concerned and
// the system's reason, or the region and the layout's entry at fault. Line breaks in messages are
// written as the terminal expects them.
class StreamSink final : public MessageSink {
 public:
  StreamSink(std::ostream& out, std::ostream& err, bool quiet, Language language)
      : m_out(out), m_err(err), m_quiet(quiet), m_language(language) {}
  void ShowMessage(const Message& message) override;

 private:
  std::ostream& m_out;
  std::ostream& m_err;
  bool m_quiet;
  Language m_language;
};

// One line a row, tab-separated: address, size, region, image.
void PrintRows(const std::vector<RegionRow>& rows, std::ostream& out);

// "LAYOUT:LINE: region: text" a finding, or that there are none.
void PrintFindings(const std::vector<Finding>& findings, const std::string& layoutPath, std::ostream& out, Language language);

// One line a region, whether it matches, then whether the image's length does.
void PrintVerification(const VerifyReport& report, std::ostream& out, Language language);

}  // namespace quorvel
