#include <openssl/evp.h>

#include <new>

#include "base/hex_digits.h"
#include "digest.h"

namespace quorvel {

class Sha256::State {
 public:
  State() : m_context(::EVP_MD_CTX_new()) {
    if (!m_context || !::EVP_DigestInit_ex(m_context, ::EVP_sha256(), nullptr)) throw std::bad_alloc();
  }
  ~State() { ::EVP_MD_CTX_free(m_context); }
  EVP_MD_CTX* m_context;
};

Sha256::Sha256() : m_state(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) { ::EVP_DigestUpdate(m_state->m_context, data, size); }

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  ::EVP_DigestFinal_ex(m_state->m_context, digest, &size);
  ::EVP_DigestInit_ex(m_state->m_context, ::EVP_sha256(), nullptr);
  return qbase::HexDigits(digest, size);
}

}  // namespace quorvel
