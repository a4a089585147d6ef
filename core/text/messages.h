#pragma once
// How the core tells the user what happened: messages by identity, with the region, the file and the
// reason that they concern, through the one message function that the front end provides. The front
// end says them in its language: the dialog in Japanese; the command-line tool in the user's, with
// the file and the system's reason (or the layout's entry at fault) after the text.

#include <string>
#include <vector>

#include "text/language.h"

namespace quorvel {

enum class MessageId {
  CannotOpen,             // a file cannot be opened: the output, or a region's image file
  OutOfMemory,            // a region cannot be had: no memory, or a negative SIZE
  CannotWrite,
  CannotRead,
  ImageWritten,
  NoRegions,              // nothing to write: the layout gave no region
  SameAsLayout,           // the output would be the layout file
  SameAsImage,            // the output would be the image file of the region
  Oversize,               // the region's image file is larger than the region
  ImageChanged,           // the region's image file changed while it was read
  BeyondRecordAddresses,  // records cannot address every byte of the image
  OffsetBeyond64Bits,     // the region's OFFSET does not fit 64 bits
  SizeBeyond64Bits,       // the region's SIZE does not fit 64 bits
  UnexpectedError,        // a command stopped for a reason the program did not foresee
  OutputEmptied,          // after a failure, the output written in place could not be removed: it was emptied
  NotALayout,             // a file dropped onto the dialog defines no region; {1} is the file
  // The region's image file, read as records, cannot be its image: the details say where.
  RecordsMalformed,       // line
  RecordsBadChecksum,     // line
  RecordsWrongCount,      // line: a count record that does not count the data records before it
  RecordsNoEnd,           // no end record: a file cut short
  RecordsBeyond4GiB,      // line
  RecordsOutsideRegion,   // the records' first and last address, the region's first and last
  RecordsConflict,        // the address that two records give different bytes
  RecordsNotAFile,        // named as records, but a pipe or a device: records are read twice
  // Regions taken out of an image (the command-line tool).
  RegionsExtracted,
  ImageTooShort,          // the image ends inside the region: the bytes it holds, the bytes the layout calls for
  NotAFolder,             // the folder the regions' files go to
  SameAsImageRead,        // a region's file would be the image that is read
  FileChanged,            // the image read changed while it was read
};

enum class MessageKind {
  Error,  // error icon and an OK button
  Plain,  // an OK button only
};

struct Message {
  MessageId id;
  std::string region = {};  // the region that the text names ({0}), or whose entry is at fault
  std::string path = {};    // the file concerned; the text names it as {1}
  std::string reason = {};  // the system's reason about that file
  std::string entry = {};   // the layout's entry at fault, as KEY=text
  std::vector<std::string> details = {};  // what the text says besides the region and the file
};

MessageKind KindOf(MessageId id);

// The message's text in the language: the dialog program's words in Japanese. In English, the tool's
// own words; the dialog program's texts that are the system's own stay as they are in every language.
// Some texts name the file and the details themselves.
std::string MessageText(const Message& message, Language language);
// The text as the tool says it: then the file and the system's reason (unless the text names the
// file), or the region and the layout's entry at fault.
std::string MessageLine(const Message& message, Language language);

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has taken note of the message.
  virtual void ShowMessage(const Message& message) = 0;
};

}  // namespace quorvel
