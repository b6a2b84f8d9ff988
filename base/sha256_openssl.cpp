#include "base/sha256.h"

#include <openssl/evp.h>

#include "base/error.h"
#include "base/scoped_handle.h"

namespace qvn {

Sha256 HashSha256(std::span<const std::uint8_t> bytes) {
  Sha256 hash{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), hash.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != hash.size()) {
    throw Error(kSha256Failure);
  }
  return hash;
}

namespace {

struct DigestContextTraits {
  using Value = EVP_MD_CTX*;
  static EVP_MD_CTX* Empty() { return nullptr; }
  static bool IsValid(EVP_MD_CTX* context) { return context != nullptr; }
  static void Close(EVP_MD_CTX* context) { EVP_MD_CTX_free(context); }
};

}  // namespace

struct Sha256Hasher::State {
  ScopedHandle<DigestContextTraits> context{EVP_MD_CTX_new()};
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
  if (!state_->context.valid() || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
    throw Error(kSha256Failure);
  }
}

Sha256Hasher::~Sha256Hasher() = default;
Sha256Hasher::Sha256Hasher(Sha256Hasher&&) noexcept = default;
Sha256Hasher& Sha256Hasher::operator=(Sha256Hasher&&) noexcept = default;

void Sha256Hasher::Update(std::span<const std::uint8_t> bytes) {
  if (EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1) {
    throw Error(kSha256Failure);
  }
}

Sha256 Sha256Hasher::Finish() {
  Sha256 hash{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), hash.data(), &length) != 1 || length != hash.size()) {
    throw Error(kSha256Failure);
  }
  return hash;
}

}  // namespace qvn
