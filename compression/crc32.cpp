#include "compression/crc32.h"

#include <array>

namespace qvn::compression {
namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    }
    table[i] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t previous) {
  // Only headers are checksummed, so a byte-at-a-time table is plenty.
  std::uint32_t crc = ~previous;
  for (std::uint8_t byte : data) {
    crc = kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

}  // namespace qvn::compression
