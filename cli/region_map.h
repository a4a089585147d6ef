#pragma once
// The region map of a written image: as a table for people, as JSON for build systems.

#include <iosfwd>
#include <string>
#include <vector>

#include "image_writer.h"
#include "sha256.h"

namespace quorvel {

// SHA-256 of each region's bytes as they are written.
class RegionDigests final : public WriteObserver {
 public:
  bool WantsBytes() const override { return true; }
  void RegionStarting(const PlacedRegion&) override { m_current = Sha256(); }
  void Written(const char* data, size_t size) override { m_current.Update(data, size); }
  void RegionDone(const PlacedRegion&) override { m_digests.push_back(m_current.HexDigest()); }
  const std::vector<std::string>& Digests() const { return m_digests; }

 private:
  Sha256 m_current;
  std::vector<std::string> m_digests;
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
  void RegionStarting(const PlacedRegion& r) override {
    for (WriteObserver* o : m_observers) o->RegionStarting(r);
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

void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out);

// {"image": ..., "size": ..., "regions": [{"region", "address", "position", "size", "image",
//  "image_bytes", "fill_bytes", "sha256"}, ...]}
std::string MapJson(const std::string& imagePath, const std::vector<PlacedRegion>& map,
                    const std::vector<std::string>& digests);

}  // namespace quorvel
