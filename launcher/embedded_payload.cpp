#include "launcher/embedded_payload.h"

#include <windows.h>

#include <algorithm>

#include "base/sha256.h"
#include "payload/payload_contract.h"
#include "payload/payload_fault.h"

namespace qvn {
namespace {

std::span<const std::uint8_t> LoadResourceBytes(int id) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (resource == nullptr) {
    throw PayloadError(PayloadFault::kNoEmbeddedRuntime);
  }
  const DWORD size = SizeofResource(nullptr, resource);
  if (!IsValidResourceSize(size)) throw PayloadError(PayloadFault::kInvalidResourceSize);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) throw PayloadError(PayloadFault::kCannotReadResource);
  return {static_cast<const std::uint8_t*>(bytes), size};
}

// Hashed in parts so that the progress moves during the longest single step
// of a large payload; 4 MiB parts cost nothing measurable against one call.
Sha256 HashCountingProgress(std::span<const std::uint8_t> payload, WorkProgress& progress) {
  constexpr std::size_t kPartSize = 4 << 20;
  Sha256Hasher hasher;
  for (std::size_t offset = 0; offset < payload.size(); offset += kPartSize) {
    const std::span<const std::uint8_t> part = payload.subspan(offset, std::min(kPartSize, payload.size() - offset));
    hasher.Update(part);
    progress.AddDone(part.size());
  }
  return hasher.Finish();
}

}  // namespace

bool IsValidResourceSize(std::uint32_t size) { return size - 1u <= kMaxPayloadSize - 1u; }

EmbeddedPayload FindEmbeddedPayload() {
  EmbeddedPayload found;
  found.payload = LoadResourceBytes(kPayloadResourceId);
  found.digest = LoadResourceBytes(kPayloadDigestResourceId);
  return found;
}

std::span<const std::uint8_t> VerifyEmbeddedPayload(const EmbeddedPayload& embedded, WorkProgress& progress) {
  const std::span<const std::uint8_t> payload = embedded.payload;
  const std::span<const std::uint8_t> expected = embedded.digest;
  // The files' sizes are known only once the payload is verified; till then
  // they count as large as stored, three times over (decode, hash, write).
  progress.SetTotal(4 * std::uint64_t{payload.size()});
  // The digest is hashed against before its length is judged, so a digest of
  // the wrong size reports a mismatch, not a size failure.
  const Sha256 actual = HashCountingProgress(payload, progress);
  if (expected.size() != actual.size() || !std::equal(actual.begin(), actual.end(), expected.begin())) {
    throw PayloadError(PayloadFault::kPayloadDigestMismatch);
  }
  return payload;
}

}  // namespace qvn
