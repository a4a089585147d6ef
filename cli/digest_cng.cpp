#include <windows.h>
#include <bcrypt.h>

#include <new>

#include "base/hex_digits.h"
#include "digest.h"

namespace quorvel {
namespace {

// The system's SHA-256 provider, opened once for the process.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE h = nullptr;
    return BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ? h : nullptr;
  }();
  return provider;
}

constexpr ULONG kDigestBytes = 32;

}  // namespace

class Sha256::State {
 public:
  State() { Start(); }
  ~State() { ::BCryptDestroyHash(m_hash); }
  void Start() {
    if (!Provider() || !BCRYPT_SUCCESS(::BCryptCreateHash(Provider(), &m_hash, nullptr, 0, nullptr, 0, 0))) {
      throw std::bad_alloc();
    }
  }
  BCRYPT_HASH_HANDLE m_hash = nullptr;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  // BCryptHashData takes 32-bit counts and a pointer it does not write through.
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG part = static_cast<ULONG>(size < 0x40000000 ? size : 0x40000000);
    ::BCryptHashData(m_state->m_hash, bytes, part, 0);
    bytes += part;
    size -= part;
  }
}

std::string Sha256::HexDigest() {
  unsigned char digest[kDigestBytes];
  ::BCryptFinishHash(m_state->m_hash, digest, kDigestBytes, 0);
  ::BCryptDestroyHash(m_state->m_hash);
  m_state->Start();
  return qbase::HexDigits(digest, kDigestBytes);
}

}  // namespace quorvel
