#include "tools/pack/sha256_hash.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace qvn::pack {

Sha256Hash HashSha256(std::span<const std::uint8_t> bytes) {
  Sha256Hash hash{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), hash.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != hash.size()) {
    throw std::runtime_error("SHA-256 failed in libcrypto");
  }
  return hash;
}

}  // namespace qvn::pack
