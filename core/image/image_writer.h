#pragma once
// Writes the whole-flash image: every region row, in order, contributes exactly its size, namely its
// image file's bytes followed by 0xFF.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/output_format.h"
#include "image/region_bytes.h"
#include "layout/region_row.h"
#include "text/messages.h"

namespace quorvel {

// Sees the image as it is written, for digests and progress. Its calls cannot fail the writing.
class WriteObserver {
 public:
  virtual ~WriteObserver() = default;
  virtual void ImageStarting(std::uint64_t /*totalBytes*/) {}
  // Whether Written must be given the bytes; when no observer wants them, it may be given only their
  // number, and image files may be copied inside the system.
  virtual bool WantsBytes() const { return false; }
  // Every byte of the image, in order: data is null when no observer wants the bytes.
  virtual void Written(const char* /*data*/, size_t /*size*/) {}
  virtual void RegionDone(const PlacedRegion& /*region*/) {}
  // The image is complete and about to be put in place. An observer that keeps a file of its own
  // beside it (the region map) writes that file now and flushes it to the disk; the message that
  // tells why it could not keeps the image from being put in place, and the old one stays.
  virtual std::optional<Message> ImageComplete(const std::vector<PlacedRegion>& /*map*/) { return std::nullopt; }
  // The image stands in place: the observer's file takes its own place; the message if it could not.
  virtual std::optional<Message> ImagePlaced() { return std::nullopt; }
  // Whether the user has asked the run to stop; asked between pieces of the image, from the writer's
  // thread.
  virtual bool Cancelled() const { return false; }
};

// The observers' own files made whole (ImageComplete), then put in place (ImagePlaced): the first
// observer's problem, or none. The writer and the extraction call them around putting their files
// in place.
std::optional<Message> CompleteObserversFiles(const std::vector<WriteObserver*>& observers, const std::vector<PlacedRegion>& map);
std::optional<Message> PlaceObserversFiles(const std::vector<WriteObserver*>& observers);

// What a generation is asked for besides the rows and the output.
struct OutputOptions {
  OutputFormat format = OutputFormat::Binary;
  bool shareErased = true;  // a raw image's erased runs may share blocks rather than be written
  // Where the image's first byte sits in the target's address space: the addresses of the records
  // written, and those that image files given as records place their bytes by.
  std::uint64_t base = 0;
  std::string layoutPath;  // the layout the rows came from: an input, never written over
};

// Writes the image to outputPath and tells the outcome through sink: the success message, or the
// error that stopped it.
// - The image is written beside outputPath under a temporary name and put in its place only when
//   complete, so no partial image ever stands under the output's name, even if the process dies.
//   The observers' own files (the map) are made whole first, and put in place after the image.
// - A failure is shown while the files are still open. Afterwards the temporary file is deleted and,
//   as the user had agreed to replace it, so is a regular file that stood at outputPath; one that
//   cannot be removed (written in place) is left empty, and the user is told so.
// - An output that is not a regular file (a device, a stream) is written directly and never deleted.
// - A run that an observer cancels stops between pieces, showing nothing: the temporary file is
//   deleted and the old output stays as it was, for the user did not agree to lose it. Once the new
//   image is in its place, a cancel comes too late, and the success is told.
// - No image file is ever written to: an output that is one of them is refused before anything.
// - Image files given as records are read through and checked before the output is opened: a fault
//   in them refuses the run with the output untouched.
// - No memory, or no thread for the records' writer, is a failure like any other: "メモリが足りません。".
// Returns the region map on success.
std::optional<std::vector<PlacedRegion>> GenerateImage(const std::vector<RegionRow>& rows, const std::string& outputPath,
                                                       MessageSink& sink, const OutputOptions& options = {},
                                                       const std::vector<WriteObserver*>& observers = {});

}  // namespace quorvel
