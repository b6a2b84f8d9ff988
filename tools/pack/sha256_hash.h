#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qvn::pack {

using Sha256Hash = std::array<std::uint8_t, 32>;

// SHA-256 of a whole buffer from the platform's own library: OpenSSL's
// libcrypto on Linux, BCrypt on Windows. Raises std::runtime_error when the
// library fails.
Sha256Hash HashSha256(std::span<const std::uint8_t> bytes);

}  // namespace qvn::pack
