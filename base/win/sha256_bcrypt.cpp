#include "base/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <limits>

#include "base/error.h"
#include "base/scoped_handle.h"

namespace qvn {
namespace {

// The SHA-256 pseudo-handle (BCRYPT_SHA256_ALG_HANDLE), which mingw-w64's
// headers lack: no provider is opened or closed.
BCRYPT_ALG_HANDLE Sha256Algorithm() { return reinterpret_cast<BCRYPT_ALG_HANDLE>(0x00000041); }

void RequireStatus(NTSTATUS status) {
  if (status < 0) throw Error(kSha256Failure);
}

ULONG SizeForBCrypt(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > std::numeric_limits<ULONG>::max()) throw Error(kSha256Failure);
  return static_cast<ULONG>(bytes.size());
}

}  // namespace

Sha256 HashSha256(std::span<const std::uint8_t> bytes) {
  Sha256 hash{};
  RequireStatus(BCryptHash(Sha256Algorithm(), nullptr, 0, const_cast<PUCHAR>(bytes.data()), SizeForBCrypt(bytes),
                           hash.data(), static_cast<ULONG>(hash.size())));
  return hash;
}

namespace {

struct HashHandleTraits {
  using Value = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE Empty() { return nullptr; }
  static bool IsValid(BCRYPT_HASH_HANDLE handle) { return handle != nullptr; }
  static void Close(BCRYPT_HASH_HANDLE handle) { BCryptDestroyHash(handle); }
};

}  // namespace

struct Sha256Hasher::State {
  ScopedHandle<HashHandleTraits> hash;
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
  BCRYPT_HASH_HANDLE handle = nullptr;
  RequireStatus(BCryptCreateHash(Sha256Algorithm(), &handle, nullptr, 0, nullptr, 0, 0));
  state_->hash.reset(handle);
}

Sha256Hasher::~Sha256Hasher() = default;
Sha256Hasher::Sha256Hasher(Sha256Hasher&&) noexcept = default;
Sha256Hasher& Sha256Hasher::operator=(Sha256Hasher&&) noexcept = default;

void Sha256Hasher::Update(std::span<const std::uint8_t> bytes) {
  RequireStatus(BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes.data()), SizeForBCrypt(bytes), 0));
}

Sha256 Sha256Hasher::Finish() {
  Sha256 hash{};
  RequireStatus(BCryptFinishHash(state_->hash.get(), hash.data(), static_cast<ULONG>(hash.size()), 0));
  return hash;
}

}  // namespace qvn
