#include "region_map.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "base/hex_digits.h"
#include "base/text.h"

namespace quorvel {
namespace {

std::string Hex(std::uint64_t value) { return qbase::FormatHex(value, 8); }

std::string Crc32Text(std::uint32_t crc) {
  const unsigned char bytes[] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                                 static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
  return qbase::HexDigits(bytes, sizeof bytes);
}

// text, then spaces up to width columns on the screen (a Japanese character takes two).
std::string Padded(std::string_view text, size_t width) {
  const size_t columns = qbase::DisplayWidth(text);
  return std::string(text) + std::string(width > columns ? width - columns : 0, ' ') + " ";
}

}  // namespace

void PrintMap(const std::vector<PlacedRegion>& map, std::ostream& out, Language language) {
  const bool ja = language == Language::Japanese;
  out << Padded(ja ? "リージョン" : "region", 12) << Padded(ja ? "アドレス" : "address", 12)
      << Padded(ja ? "位置" : "position", 12) << Padded(ja ? "サイズ" : "size", 12)
      << Padded(ja ? "イメージ" : "image bytes", 12) << Padded(ja ? "0xFF埋め" : "fill bytes", 12) << ' '
      << (ja ? "イメージファイル" : "image file") << '\n';
  std::uint64_t total = 0;
  for (const PlacedRegion& r : map) {
    out << Padded(r.regionName, 12) << Padded(r.offsetText, 12) << Padded(Hex(r.position), 12) << Padded(Hex(r.size), 12)
        << Padded(std::to_string(r.imageBytes), 12) << Padded(std::to_string(r.size - r.imageBytes), 12) << ' '
        << (r.imagePath.empty() ? "-" : r.imagePath) << '\n';
    total += r.size;
  }
  out << Say(language, "total {0} bytes ({1})", "合計 {0} バイト ({1})", {std::to_string(total), Hex(total)}) << '\n';
}

void MapFile::Written(const char* data, size_t size) {
  m_sha256.Update(data, size);
  m_crc32.Update(data, size);
}

void MapFile::RegionDone(const PlacedRegion&) { m_digests.emplace_back(m_sha256.HexDigest(), Crc32Text(m_crc32.Value())); }

std::optional<Message> MapFile::ImageComplete(const std::vector<PlacedRegion>& map) {
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
                       {"image_format", r.imageFormat ? nlohmann::ordered_json(FormatName(*r.imageFormat)) : nlohmann::ordered_json(nullptr)},
                       {"sha256", i < m_digests.size() ? m_digests[i].first : std::string()},
                       {"crc32", i < m_digests.size() ? m_digests[i].second : std::string()}});
    total += r.size;
  }
  const nlohmann::ordered_json document = {{"image", m_imagePath}, {"size", total}, {"regions", regions}};
  // File names are bytes on POSIX: those that are no UTF-8 keep their place, their odd bytes replaced.
  const std::string json = document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  if (m_file->Get().WriteAll(json.data(), json.size()) && m_file->Get().Flush()) return std::nullopt;
  return Message{MessageId::CannotWrite, {}, m_path, LastSystemError()};
}

std::optional<Message> MapFile::ImagePlaced() {
  if (m_file->Commit()) return std::nullopt;
  return Message{MessageId::CannotWrite, {}, m_path, LastSystemError()};
}

}  // namespace quorvel
