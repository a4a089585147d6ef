#include <zlib.h>

#include <algorithm>
#include <utility>

#include "digest.h"

namespace quorvel {

void Crc32::Update(const void* data, size_t size) {
  // zlib counts in 32 bits: large pieces go in parts.
  const auto* bytes = static_cast<const Bytef*>(data);
  while (size > 0) {
    const uInt part = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    m_crc = static_cast<std::uint32_t>(::crc32(m_crc, bytes, part));
    bytes += part;
    size -= part;
  }
}

std::uint32_t Crc32::Value() { return std::exchange(m_crc, 0); }

}  // namespace quorvel
