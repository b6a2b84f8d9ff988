#include "launcher/embedded_payload.h"

#include <windows.h>

#include <algorithm>

#include "base/error.h"
#include "base/sha256.h"

namespace qvn {
namespace {

std::span<const std::uint8_t> LoadResourceBytes(int id) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (resource == nullptr) {
    throw Error("Portable EXE has no embedded runtime. Use the complete portable EXE.");
  }
  const DWORD size = SizeofResource(nullptr, resource);
  if (!IsValidResourceSize(size)) throw Error("Invalid portable resource size");
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) throw Error("Cannot read portable resource");
  return {static_cast<const std::uint8_t*>(bytes), size};
}

}  // namespace

bool IsValidResourceSize(std::uint32_t size) { return size - 1u <= 0x1FFFFFFFu; }

std::span<const std::uint8_t> LoadVerifiedPayload() {
  const std::span<const std::uint8_t> payload = LoadResourceBytes(kPayloadResourceId);
  const std::span<const std::uint8_t> expected = LoadResourceBytes(kPayloadDigestResourceId);
  // The digest is hashed against before its length is judged, so a digest of
  // the wrong size reports a mismatch, not a size failure.
  const Sha256 actual = HashSha256(payload);
  if (expected.size() != actual.size() || !std::equal(actual.begin(), actual.end(), expected.begin())) {
    throw Error("Embedded runtime SHA-256 mismatch");
  }
  return payload;
}

}  // namespace qvn
