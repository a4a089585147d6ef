#include "text/messages.h"

#include <iterator>

namespace quorvel {
namespace {

// Every message: its kind and its words, {0} standing for the region and {1} for the file (which the
// tool also writes after the text; the dialog shows the text alone). Those without English words are
// the dialog program's own texts, which the tool says as the dialog does.
struct Words {
  MessageId id;
  MessageKind kind;
  const char* japanese;
  const char* english;
};
constexpr MessageKind kError = MessageKind::Error;
constexpr Words kMessages[] = {
    {MessageId::CannotOpen, kError, "ファイルを開けません。", nullptr},
    {MessageId::OutOfMemory, kError, "メモリが足りません。", nullptr},
    {MessageId::CannotWrite, kError, "ファイルに書き込めません。", "cannot write the file"},
    {MessageId::CannotRead, kError, "ファイルを読み込めません。", "cannot read the file"},
    {MessageId::ImageWritten, MessageKind::Plain, "イメージファイルを作成しました。", nullptr},
    {MessageId::NoRegions, kError, "イメージデータが入力されていません。", nullptr},
    {MessageId::SameAsLayout, kError, "レイアウトファイルと同じファイルには出力できません。", "the output cannot be the layout file"},
    {MessageId::SameAsImage, kError, "リージョン'{0}'のイメージファイルと同じファイルには出力できません。",
     "the output cannot be the image file of region '{0}'"},
    {MessageId::Oversize, kError, "リージョン'{0}'のファイルサイズが\r\nオーバーしています。", nullptr},
    {MessageId::ImageChanged, kError, "リージョン'{0}'のイメージファイルが読み込み中に変更されました。",
     "the image file of region '{0}' changed while it was read"},
    {MessageId::BeyondRecordAddresses, kError, "イメージが4GiBのアドレス範囲を超えるため、この形式では出力できません。",
     "the image would pass 4 GiB of addresses, which this format cannot hold"},
    {MessageId::OffsetBeyond64Bits, kError, "リージョン'{0}'のOFFSETが64ビットに収まりません。",
     "the OFFSET of region '{0}' does not fit in 64 bits"},
    {MessageId::SizeBeyond64Bits, kError, "リージョン'{0}'のSIZEが64ビットに収まりません。", "the SIZE of region '{0}' does not fit in 64 bits"},
    {MessageId::UnexpectedError, kError, "予期しないエラーが発生しました。", nullptr},
    {MessageId::OutputEmptied, kError, "出力ファイルを削除できないため、空にしました。", "the output could not be removed, so it was emptied"},
    {MessageId::NotALayout, kError, "レイアウトファイルではありません。\r\n{1}", "not a layout file (it defines no region)"},
};

constexpr bool InOrderOfIds() {
  for (size_t i = 0; i < std::size(kMessages); ++i) {
    if (static_cast<size_t>(kMessages[i].id) != i) return false;
  }
  return true;
}
static_assert(InOrderOfIds(), "the messages stand in the order of their ids");

const Words& WordsOf(MessageId id) { return kMessages[static_cast<size_t>(id)]; }

}  // namespace

MessageKind KindOf(MessageId id) { return WordsOf(id).kind; }

std::string MessageText(const Message& message, Language language) {
  const Words& words = WordsOf(message.id);
  return Say(language, words.english ? words.english : words.japanese, words.japanese, {message.region, message.path});
}

}  // namespace quorvel
