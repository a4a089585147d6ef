#include "messages.h"

namespace quorvel {

std::string OversizeMessage(const std::string& regionName) {
  return "リージョン'" + regionName + "'のファイルサイズが\r\nオーバーしています。";
}

std::string SameFileMessage(const std::string& regionName) {
  return "リージョン'" + regionName + "'のイメージファイルと同じファイルには出力できません。";
}

}  // namespace quorvel
