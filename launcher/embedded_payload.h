#pragma once

#include <cstdint>
#include <span>

#include "base/work_progress.h"

namespace qvn {

// The launcher's own payload and its SHA-256 as embedded, found, bounded and
// locked, not yet checked. The views stay valid for the life of the
// process: resources stay mapped and are never copied. Finding them takes
// the loader lock, so the run does it before its window thread starts.
struct EmbeddedPayload {
  std::span<const std::uint8_t> payload;
  std::span<const std::uint8_t> digest;
};
EmbeddedPayload FindEmbeddedPayload();

// The payload, once checked against its embedded SHA-256. Sets a first
// estimate of the whole run's work in `progress` and counts the bytes
// hashed.
std::span<const std::uint8_t> VerifyEmbeddedPayload(const EmbeddedPayload& embedded, WorkProgress& progress);

// True when a resource size lies in 1..kMaxPayloadSize, tested as size - 1
// in unsigned 32-bit arithmetic.
bool IsValidResourceSize(std::uint32_t size);

}  // namespace qvn
