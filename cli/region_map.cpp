#include "region_map.h"

#include "hex.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

namespace quorvel {
namespace {

std::string Hex(std::uint64_t value) { return FormatHex(value, 8); }

std::string Crc32Text(std::uint32_t crc) {
  const unsigned char bytes[] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                                 static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
  return HexDigits(bytes, sizeof bytes);
}

}  // namespace

void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out) {
  char line[512];
  std::snprintf(line, sizeof line, "%-12s %-12s %-12s %-12s %12s %12s  %s\n", "region", "address", "position", "size",
                "image bytes", "fill bytes", "image file");
  out << line;
  std::uint64_t total = 0;
  for (const PlacedRegion& r : map) {
    std::snprintf(line, sizeof line, "%-12s %-12s %-12s %-12s %12llu %12llu  ", r.regionName.c_str(),
                  r.offsetText.c_str(), Hex(r.position).c_str(), Hex(r.size).c_str(),
                  static_cast<unsigned long long>(r.imageBytes),
                  static_cast<unsigned long long>(r.size - r.imageBytes));
    out << line << (r.imagePath.empty() ? "-" : r.imagePath) << '\n';
    total += r.size;
  }
  out << "total " << total << " bytes (" << Hex(total) << ")\n";
}

std::string MapJson(const std::string& imagePath, const std::vector<PlacedRegion>& map,
                    const std::vector<RegionDigest>& digests) {
  nlohmann::ordered_json regions = nlohmann::ordered_json::array();
  std::uint64_t total = 0;
  for (size_t i = 0; i < map.size(); ++i) {
    const PlacedRegion& r = map[i];
    regions.push_back({{"region", r.regionName},
                       {"address", r.offsetText},
                       {"position", r.position},
                       {"size", r.size},
                       {"image", r.imagePath.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.imagePath)},
                       {"image_bytes", r.imageBytes},
                       {"fill_bytes", r.size - r.imageBytes},
                       {"sha256", i < digests.size() ? digests[i].sha256 : std::string()},
                       {"crc32", i < digests.size() ? Crc32Text(digests[i].crc32) : std::string()}});
    total += r.size;
  }
  const nlohmann::ordered_json document = {{"image", imagePath}, {"size", total}, {"regions", regions}};
  return document.dump(2) + "\n";
}

}  // namespace quorvel
