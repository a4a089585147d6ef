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

// The digests of one region's bytes.
struct RegionDigest {
  std::string sha256;
  std::uint32_t crc32 = 0;
};

// SHA-256 and CRC-32 of each region's bytes as they are written.
class RegionDigests final : public WriteObserver {
 public:
  bool WantsBytes() const override { return true; }
  void Written(const char* data, size_t size) override {
    m_sha256.Update(data, size);
    m_crc32.Update(data, size);
  }
  void RegionDone(const PlacedRegion&) override { m_digests.push_back({m_sha256.HexDigest(), m_crc32.Value()}); }
  const std::vector<RegionDigest>& Digests() const { return m_digests; }

 private:
  Sha256 m_sha256;
  Crc32 m_crc32;
  std::vector<RegionDigest> m_digests;
};

// Passes everything on to each of several observers.
class ObserverList final : public WriteObserver {
 public:
  void Add(WriteObserver& observer) { m_observers.push_back(&observer); }
  bool WantsBytes() const override {
    for (const WriteObserver* o : m_observers) {
      if (o->WantsBytes()) return true;
    }
    return false;
  }
  void ImageStarting(std::uint64_t total) override {
    for (WriteObserver* o : m_observers) o->ImageStarting(total);
  }
  void Written(const char* data, size_t size) override {
    for (WriteObserver* o : m_observers) o->Written(data, size);
  }
  void RegionDone(const PlacedRegion& r) override {
    for (WriteObserver* o : m_observers) o->RegionDone(r);
  }

 private:
  std::vector<WriteObserver*> m_observers;
};

// The map as a table, its headings in the language given.
void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out, Language language);

// The map's JSON file: {"image": ..., "size": ..., "regions": [{"region", "address", "position",
// "size", "image", "image_bytes", "fill_bytes", "sha256", "crc32"}, ...]}. It is made before the
// image is written, so that a map that cannot be written leaves the image as it was, and takes its
// place after the image has taken its own.
class MapFile {
 public:
  explicit MapFile(const std::string& path) : m_file(ReplacementFile::Open(path)) {}
  // Whether the file could be made; the system's reason is kept otherwise.
  bool IsOpen() const { return m_file.has_value(); }
  // Sees the image's bytes as they are written, for the digests.
  WriteObserver& Digests() { return m_digests; }
  // Writes the map of the image at imagePath and puts the file in its place.
  bool Commit(const std::string& imagePath, const std::vector<PlacedRegion>& map);

 private:
  std::optional<ReplacementFile> m_file;
  RegionDigests m_digests;
};

}  // namespace quorvel
