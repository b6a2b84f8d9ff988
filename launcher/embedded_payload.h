#pragma once

#include <cstdint>
#include <span>

#include "base/work_progress.h"

namespace qvn {

// The launcher's own payload, found, bounded and checked against its
// embedded SHA-256. The view stays valid for the life of the process:
// resources stay mapped and are never copied. Sets a first estimate of the
// whole run's work in `progress` and counts the bytes hashed.
std::span<const std::uint8_t> LoadVerifiedPayload(WorkProgress& progress);

// True when a resource size lies in 1..kMaxPayloadSize, tested as size - 1
// in unsigned 32-bit arithmetic.
bool IsValidResourceSize(std::uint32_t size);

}  // namespace qvn
