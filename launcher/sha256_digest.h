#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qvn {

using Sha256 = std::array<std::uint8_t, 32>;

// SHA-256 of a whole buffer of at most 0x20000000 bytes in one system call.
// Raises "Unable to verify portable payload SHA-256" otherwise.
Sha256 Sha256Digest(std::span<const std::uint8_t> bytes);

}  // namespace qvn
