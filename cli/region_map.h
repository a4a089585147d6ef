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
// an image file), "sha256", "crc32"}, ...]}. It is made before the
// image is written, so that a map that cannot be written leaves the image as it was, and takes its
// place after the image has taken its own. It sees the image's bytes as they are written, for each
// region's SHA-256 and CRC-32.
class MapFile final : public WriteObserver {
 public:
  explicit MapFile(const std::string& path) : m_file(ReplacementFile::Open(path)) {}
  // Whether the file could be made; the system's reason is kept otherwise.
  bool IsOpen() const { return m_file.has_value(); }
  bool WantsBytes() const override { return true; }
  void Written(const char* data, size_t size) override;
  void RegionDone(const PlacedRegion& region) override;
  // Writes the map of the image at imagePath and puts the file in its place.
  bool Commit(const std::string& imagePath, const std::vector<PlacedRegion>& map);

 private:
  std::optional<ReplacementFile> m_file;
  Sha256 m_sha256;
  Crc32 m_crc32;
  std::vector<std::pair<std::string, std::string>> m_digests;  // each region's SHA-256 and CRC-32, in digits
};

}  // namespace quorvel
