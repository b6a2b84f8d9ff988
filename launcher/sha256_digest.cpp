#include "launcher/sha256_digest.h"

#include <windows.h>
#include <bcrypt.h>

#include "launcher/launcher_error.h"

namespace qvn {
namespace {

constexpr std::size_t kLargestHashedBuffer = 0x20000000;

// The SHA-256 pseudo-handle (BCRYPT_SHA256_ALG_HANDLE), which older SDK
// headers lack: no provider is opened or closed.
BCRYPT_ALG_HANDLE Sha256Algorithm() { return reinterpret_cast<BCRYPT_ALG_HANDLE>(0x00000041); }

}  // namespace

Sha256 Sha256Digest(std::span<const std::uint8_t> bytes) {
  Sha256 digest = {};
  if (bytes.size() > kLargestHashedBuffer) throw LauncherError("Unable to verify portable payload SHA-256");
  const NTSTATUS status = BCryptHash(Sha256Algorithm(), nullptr, 0, const_cast<PUCHAR>(bytes.data()),
                                     static_cast<ULONG>(bytes.size()), digest.data(), static_cast<ULONG>(digest.size()));
  if (status < 0) throw LauncherError("Unable to verify portable payload SHA-256");
  return digest;
}

}  // namespace qvn
