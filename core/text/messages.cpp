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
    {MessageId::RecordsMalformed, kError, "リージョン'{0}'のイメージファイル{1}の{2}行目はレコードとして正しくありません。",
     "line {2} of the image file {1} of region '{0}' is not a well-formed record"},
    {MessageId::RecordsBadChecksum, kError, "リージョン'{0}'のイメージファイル{1}の{2}行目のチェックサムが合いません。",
     "line {2} of the image file {1} of region '{0}' has a wrong checksum"},
    {MessageId::RecordsWrongCount, kError, "リージョン'{0}'のイメージファイル{1}の{2}行目のレコード数が合いません。",
     "line {2} of the image file {1} of region '{0}' gives a wrong count of records"},
    {MessageId::RecordsNoEnd, kError, "リージョン'{0}'のイメージファイル{1}に終了レコードがありません（ファイルが途中で切れています）。",
     "the image file {1} of region '{0}' has no end record: the file is cut short"},
    {MessageId::RecordsBeyond4GiB, kError, "リージョン'{0}'のイメージファイル{1}の{2}行目に4GiBを超えるアドレスのデータがあります。",
     "line {2} of the image file {1} of region '{0}' holds data past 4 GiB"},
    {MessageId::RecordsOutsideRegion, kError,
     "リージョン'{0}'のイメージファイル{1}のレコードはアドレス{2}～{3}にあり、リージョンのアドレス{4}～{5}からはみ出しています。",
     "the records of the image file {1} of region '{0}' lie at {2} to {3}, outside the region's addresses {4} to {5} "
     "(--base plus its position in the image)"},
    {MessageId::RecordsConflict, kError, "リージョン'{0}'のイメージファイル{1}のレコードが、アドレス{2}に異なるデータを与えています。",
     "the records of the image file {1} of region '{0}' give address {2} two different bytes"},
    {MessageId::RecordsNotAFile, kError,
     "リージョン'{0}'のイメージファイル{1}はレコードの名前ですが、通常のファイルではありません（レコードは二度読むため、ファイルで指定してください）。",
     "the image file {1} of region '{0}' is named as records, which are read twice: it must be an ordinary file, not a pipe"},
    {MessageId::RegionsExtracted, MessageKind::Plain, "リージョンのイメージファイルを書き出しました。", "the regions' image files are written"},
    {MessageId::ImageTooShort, kError, "イメージファイル{1}はリージョン'{0}'の途中で終わっています（{2}バイト、レイアウトでは{3}バイト）。",
     "the image {1} ends inside region '{0}': it holds {2} bytes, the layout calls for {3}"},
    {MessageId::NotAFolder, kError, "{1}はフォルダーではありません。", "{1} is not a folder"},
    {MessageId::SameAsImageRead, kError, "読み込むイメージファイルと同じファイルには出力できません。", "the output cannot be the image that is read"},
    {MessageId::FileChanged, kError, "ファイル{1}が読み込み中に変更されました。", "the file {1} changed while it was read"},
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
  const auto detail = [&](size_t i) { return i < message.details.size() ? std::string_view(message.details[i]) : std::string_view(); };
  return Say(language, words.english ? words.english : words.japanese, words.japanese,
             {message.region, message.path, detail(0), detail(1), detail(2), detail(3)});
}

std::string MessageLine(const Message& message, Language language) {
  const Words& words = WordsOf(message.id);
  const std::string_view text = language == Language::English && words.english ? words.english : words.japanese;
  std::string line = MessageText(message, language);
  if (!message.path.empty()) {
    if (text.find("{1}") == std::string_view::npos) line += " " + message.path;
    if (!message.reason.empty()) line += ": " + message.reason;
  }
  if (!message.entry.empty()) line += " " + message.region + ": " + message.entry;
  return line;
}

}  // namespace quorvel
