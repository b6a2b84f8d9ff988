#include "tools/pack/packing/checked_records.h"

#include <array>
#include <bit>

#include "base/byte_order.h"

namespace qvn::pack {

std::uint64_t StoredFingerprint(std::span<const std::uint8_t> bytes) {
  constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87;
  constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4F;
  // Four independent lanes of 8 bytes each, so that the multiplies overlap.
  std::array<std::uint64_t, 4> lanes = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
  std::size_t at = 0;
  for (; at + 32 <= bytes.size(); at += 32) {
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
      lanes[lane] = std::rotl(lanes[lane] + LoadLe64(bytes.data() + at + 8 * lane) * kPrime2, 31) * kPrime1;
    }
  }
  std::uint64_t result = bytes.size() * kPrime1;
  for (const std::uint64_t lane : lanes) result = std::rotl(result ^ lane, 27) * kPrime1;
  for (; at < bytes.size(); ++at) result = std::rotl(result ^ bytes[at], 11) * kPrime2;
  return result ^ (result >> 29);
}

}  // namespace qvn::pack
