#pragma once
// SHA-256 (FIPS 180-4), fed in pieces. Written here because the Windows build has no cryptographic
// library to link: Debian packages none for MinGW-w64.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  // The digest as 64 lowercase hexadecimal digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const unsigned char* block);

  std::array<std::uint32_t, 8> m_state;
  std::array<unsigned char, 64> m_pending{};
  size_t m_pendingSize = 0;
  std::uint64_t m_totalBytes = 0;
};

}  // namespace quorvel
