#pragma once
// The digests of a region's bytes that the region map gives: SHA-256 from the platform's own
// cryptography (CNG on Windows, OpenSSL's libcrypto elsewhere) and CRC-32 from zlib, fed in pieces.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorvel {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t size);
  // 64 lowercase hexadecimal digits; the object starts afresh afterwards.
  std::string HexDigest();

 private:
  class State;
  std::unique_ptr<State> m_state;
};

class Crc32 {
 public:
  void Update(const void* data, size_t size);
  // The CRC-32 that boot loaders check (ISO-HDLC, as zlib and Ethernet have it); starts afresh afterwards.
  std::uint32_t Value();

 private:
  std::uint32_t m_crc = 0;
};

}  // namespace quorvel
