#pragma once
// The regions taken back out of a whole-flash image: each region's bytes, where the layout places
// them in the image, into a file of its own.

#include <optional>
#include <string>
#include <vector>

#include "image/image_writer.h"
#include "image/region_bytes.h"
#include "layout/region_row.h"
#include "text/messages.h"

namespace quorvel {

struct ExtractOptions {
  bool trim = false;        // each file without the region's trailing 0xFF bytes
  bool shareErased = true;  // the files' erased runs may share blocks rather than be written
  std::string layoutPath;   // the layout the rows came from: an input, never written over
};

// Where a region's bytes go: folder/REGION.bin.
std::string RegionFilePath(const std::string& folder, const std::string& regionName);

// Reads the image at imagePath once, from its start (a pipe as well as a file), and writes each row's
// region to its file in folder: exactly the region's size, or without its trailing 0xFF when
// trimmed. Tells the outcome through sink.
// - An image that ends before the layout's last region does is refused, naming the first region it
//   does not hold whole. Its bytes beyond the layout's are not read.
// - Nothing is written before the image is known to hold every region: an ordinary file's size is
//   looked at first; a stream's files are kept unnamed until it has given every region. Each file is
//   written beside its place and all are put in place only when all are complete and on the disk;
//   after a failure the files that stood there stay as they were.
// - No input is written over: a region's file that would be the image or the layout is refused
//   before anything is opened for writing.
// The observers see each region's bytes as the image holds them (for digests and progress). Returns
// the map: for each region its file and the bytes written to it.
std::optional<std::vector<PlacedRegion>> ExtractRegions(const std::vector<RegionRow>& rows, const std::string& imagePath,
                                                        const std::string& folder, MessageSink& sink, const ExtractOptions& options = {},
                                                        const std::vector<WriteObserver*>& observers = {});

}  // namespace quorvel
