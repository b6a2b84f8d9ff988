#pragma once

#include <cstdint>
#include <span>

namespace qvn::compression {

// The standard (zlib) CRC-32: reflected polynomial 0xEDB88320, initial and
// final value 0xFFFFFFFF. `previous` lets a CRC run over several pieces:
// Crc32(b, Crc32(a)) equals the CRC of a followed by b.
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t previous = 0);

}  // namespace qvn::compression
