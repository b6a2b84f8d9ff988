#include "tools/pack/sha256_hash.h"

#include <windows.h>
#include <bcrypt.h>

#include <limits>
#include <stdexcept>

namespace qvn::pack {
namespace {

// The SHA-256 pseudo-handle (BCRYPT_SHA256_ALG_HANDLE), which mingw-w64's
// headers lack: no provider is opened or closed.
BCRYPT_ALG_HANDLE Sha256Algorithm() { return reinterpret_cast<BCRYPT_ALG_HANDLE>(0x00000041); }

}  // namespace

Sha256Hash HashSha256(std::span<const std::uint8_t> bytes) {
  Sha256Hash hash{};
  if (bytes.size() > std::numeric_limits<ULONG>::max()) throw std::runtime_error("SHA-256 input too large");
  const NTSTATUS status = BCryptHash(Sha256Algorithm(), nullptr, 0, const_cast<PUCHAR>(bytes.data()),
                                     static_cast<ULONG>(bytes.size()), hash.data(), static_cast<ULONG>(hash.size()));
  if (status < 0) throw std::runtime_error("SHA-256 failed in BCrypt");
  return hash;
}

}  // namespace qvn::pack
