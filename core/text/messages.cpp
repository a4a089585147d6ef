#include "text/messages.h"

#include <utility>

namespace quorvel {
namespace {

// The texts about one region: "リージョン'<name>" and the Japanese end; in English, the start and the
// end around the name.
struct RegionText {
  const char* japaneseEnd;
  const char* englishStart;
  const char* englishEnd;
};
constexpr char kRegionStart[] = "リージョン'";
constexpr RegionText kSameFile = {"'のイメージファイルと同じファイルには出力できません。",
                                  "the output cannot be the image file of region '", "'"};
constexpr RegionText kImageChanged = {"'のイメージファイルが読み込み中に変更されました。", "the image file of region '",
                                      "' changed while it was read"};

std::string AboutRegion(const RegionText& text, const std::string& regionName) {
  return kRegionStart + regionName + text.japaneseEnd;
}

}  // namespace

std::string OversizeMessage(const std::string& regionName) {
  return kRegionStart + regionName + "'のファイルサイズが\r\nオーバーしています。";
}

std::string SameFileMessage(const std::string& regionName) { return AboutRegion(kSameFile, regionName); }

std::string ImageChangedMessage(const std::string& regionName) { return AboutRegion(kImageChanged, regionName); }

Message MessageAbout(const std::string& text, const std::string& path, const std::string& reason) {
  static const std::pair<const char*, const char*> kEnglish[] = {
      {kMsgCannotWrite, "cannot write the file"},
      {kMsgCannotRead, "cannot read the file"},
      {kMsgSameAsLayout, "the output cannot be the layout file"},
      {kMsgBeyondRecordAddresses, "the image would pass 4 GiB of addresses, which this format cannot hold"},
  };
  Message message{text, MessageKind::Error, {}, path, reason};
  for (const auto& [japanese, english] : kEnglish) {
    if (text == japanese) message.english = english;
  }
  const std::string start = kRegionStart;
  for (const RegionText* r : {&kSameFile, &kImageChanged}) {
    const std::string end = r->japaneseEnd;
    if (text.size() > start.size() + end.size() && text.starts_with(start) && text.ends_with(end)) {
      message.english = r->englishStart + text.substr(start.size(), text.size() - start.size() - end.size()) + r->englishEnd;
    }
  }
  return message;
}

}  // namespace quorvel
