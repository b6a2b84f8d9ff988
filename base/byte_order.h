#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace qvn {

// Little-endian loads and stores through memcpy: no alignment or aliasing
// assumptions, and compilers turn them into single moves.
inline std::uint16_t LoadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  return LoadLe32(p) | (static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32);
}

inline void StoreLe16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t value) {
  StoreLe16(p, static_cast<std::uint16_t>(value));
  StoreLe16(p + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void StoreLe64(std::uint8_t* p, std::uint64_t value) {
  StoreLe32(p, static_cast<std::uint32_t>(value));
  StoreLe32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

// `width` bytes of `value`, little-endian, at `offset` of a buffer that
// grows to hold them.
inline void PutLittleEndian(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::uint32_t value, int width) {
  const auto count = static_cast<std::size_t>(width);
  if (bytes.size() < offset + count) bytes.resize(offset + count);
  for (std::size_t i = 0; i < count; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void AppendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, int width) {
  PutLittleEndian(bytes, bytes.size(), value, width);
}

}  // namespace qvn
