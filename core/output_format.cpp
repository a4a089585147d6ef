#include "output_format.h"

#include <array>

#include "text.h"

namespace quorvel {

OutputFormat FormatForPath(std::string_view path) {
  const size_t dot = path.find_last_of("./\\");
  if (dot == std::string_view::npos || path[dot] != '.') return OutputFormat::Binary;
  const std::string extension = AsciiLower(path.substr(dot + 1));
  for (const char* s : {"mot", "srec", "s19", "s28", "s37"}) {
    if (extension == s) return OutputFormat::SRecord;
  }
  return extension == "hex" ? OutputFormat::IntelHex : OutputFormat::Binary;
}

std::optional<OutputFormat> FormatFromName(std::string_view name) {
  if (name == "bin") return OutputFormat::Binary;
  if (name == "srec") return OutputFormat::SRecord;
  if (name == "ihex") return OutputFormat::IntelHex;
  return std::nullopt;
}

bool RecordsCanAddress(std::uint64_t base, std::uint64_t totalBytes) {
  constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;
  return base < kAddressSpace && totalBytes <= kAddressSpace - base;
}

}  // namespace quorvel
