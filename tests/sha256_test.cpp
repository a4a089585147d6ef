#include <gtest/gtest.h>

#include <string>

#include "sha256.h"

namespace quorvel {
namespace {

std::string Digest(const std::string& data, size_t piece) {
  Sha256 sha;
  for (size_t at = 0; at < data.size(); at += piece) sha.Update(data.data() + at, std::min(piece, data.size() - at));
  return sha.HexDigest();
}

TEST(Sha256, MatchesTheStandardsTestVectorsWhateverThePieces) {
  struct Vector {
    std::string message, digest;
  };
  const Vector vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // around the padding boundary: 55 bytes fit one block with the length, 56 do not
      {std::string(55, '\xFF'), "aadaed00a3c5fbb8072ae7f1984ba8199fbe5272de427d11eaf31583af37db51"},
      {std::string(56, '\xFF'), "528ff50ab05e77bbbd224a9ec86165dbb6824a9a9efb544be0a1d57d5b416457"},
      {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
  };
  for (const Vector& v : vectors) {
    for (const size_t piece : {size_t{1}, size_t{3}, size_t{63}, size_t{64}, size_t{65}, size_t{100000}}) {
      EXPECT_EQ(Digest(v.message, piece), v.digest) << v.message.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace quorvel
