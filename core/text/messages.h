#pragma once
// How the core tells the user what happened: one message function that the front end provides.
// The dialog shows a message box; the command-line tool prints.

#include <string>

namespace quorvel {

enum class MessageKind {
  Error,  // error icon and an OK button
  Plain,  // an OK button only
};

// One message: the text that the dialog shows and its kind; for the front ends that say more, the
// same text in English (none for the described texts, which are Japanese in every language), the
// file that it concerns and the system's reason.
struct Message {
  std::string text;
  MessageKind kind = MessageKind::Error;
  std::string english = {};
  std::string path = {};
  std::string reason = {};
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has taken note of the message.
  virtual void ShowMessage(const std::string& text, MessageKind kind) = 0;
  // The whole message; shown as its text alone unless the front end says more.
  virtual void ShowMessage(const Message& message) { ShowMessage(message.text, message.kind); }
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
// The region's image file changed while it was being read.
std::string ImageChangedMessage(const std::string& regionName);

// The text as a whole message, with its English where it is one of the tool's own.
Message MessageAbout(const std::string& text, const std::string& path = {}, const std::string& reason = {});

}  // namespace quorvel
