#include "messages.h"

namespace quorvel {

std::string OversizeMessage(const std::string& regionName) {
  return "リージョン'" + regionName + "'のファイルサイズが\r\nオーバーしています。";
}

std::string SameFileMessage(const std::string& regionName) {
  return "リージョン'" + regionName + "'のイメージファイルと同じファイルには出力できません。";
}

std::string ImageChangedMessage(const std::string& regionName) {
  return "リージョン'" + regionName + "'のイメージファイルが読み込み中に変更されました。";
}

}  // namespace quorvel
