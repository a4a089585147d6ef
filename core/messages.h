#pragma once
// How the core tells the user what happened: one message function that the front end provides.
// The dialog shows a message box; the command-line tool prints.

#include <string>

namespace quorvel {

enum class MessageKind {
  Error,  // error icon and an OK button
  Plain,  // an OK button only
};

// The file that a failure concerns and the system's reason, for the front ends that show them.
struct FileDetail {
  std::string path;
  std::string reason;
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has taken note of the message.
  virtual void ShowMessage(const std::string& text, MessageKind kind) = 0;
  // The same message about one file; shown as the text alone unless the front end says more.
  virtual void ShowMessage(const std::string& text, MessageKind kind, const FileDetail& /*detail*/) {
    ShowMessage(text, kind);
  }
};

// The texts the user sees.
inline constexpr char kMsgCannotOpen[] = "ファイルを開けません。";
inline constexpr char kMsgOutOfMemory[] = "メモリが足りません。";
inline constexpr char kMsgCannotWrite[] = "ファイルに書き込めません。";
inline constexpr char kMsgCannotRead[] = "ファイルを読み込めません。";
inline constexpr char kMsgImageWritten[] = "イメージファイルを作成しました。";
inline constexpr char kMsgNoRegions[] = "イメージデータが入力されていません。";
inline constexpr char kMsgSameAsLayout[] = "レイアウトファイルと同じファイルには出力できません。";
inline constexpr char kMsgBeyondRecordAddresses[] = "イメージが4GiBのアドレス範囲を超えるため、この形式では出力できません。";

// "リージョン'<name>'のファイルサイズが", a line break, "オーバーしています。"
std::string OversizeMessage(const std::string& regionName);
// The output would overwrite the image file of the region named.
std::string SameFileMessage(const std::string& regionName);
// The region's image file grew while it was being copied.
std::string ImageChangedMessage(const std::string& regionName);

}  // namespace quorvel
