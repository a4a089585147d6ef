#pragma once
// The region map of a written image: as a table for people, as a JSON file for build systems.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "digest.h"
#include "files/replacement_file.h"
#include "image/image_writer.h"
#include "text/language.h"

namespace quorvel {

// The map as a table, its headings in the language given.
void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out, Language language);

// The map's JSON file: {"image": ..., "size": ..., "regions": [{"region", "address", "position",
// "size", "image", "image_bytes", "fill_bytes", "image_format" ("bin", "srec", "ihex", or null without
// an image file), "sha256", "crc32"}, ...]}. It is opened before the image is written, so that a map
// that cannot be made leaves the image as it was; it sees the image's bytes as they are written, for
// each region's SHA-256 and CRC-32; it is written and flushed before the image takes its place, and
// takes its own after the image: a map that cannot be written keeps the new image from its place, and
// the old image stays with the old map.
class MapFile final : public WriteObserver {
 public:
  MapFile(const std::string& path, const std::string& imagePath)
      : m_path(path), m_imagePath(imagePath), m_file(ReplacementFile::Open(path)) {}
  // Whether the file could be made; the system's reason is kept otherwise.
  bool IsOpen() const { return m_file.has_value(); }
  bool WantsBytes() const override { return true; }
  void Written(const char* data, size_t size) override;
  void RegionDone(const PlacedRegion& region) override;
  std::optional<Message> ImageComplete(const std::vector<PlacedRegion>& map) override;
  std::optional<Message> ImagePlaced() override;

 private:
  std::string m_path;
  std::string m_imagePath;
  std::optional<ReplacementFile> m_file;
  Sha256 m_sha256;
  Crc32 m_crc32;
  std::vector<std::pair<std::string, std::string>> m_digests;  // each region's SHA-256 and CRC-32, in digits
};

}  // namespace quorvel
