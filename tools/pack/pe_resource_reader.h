#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>

namespace qvn::pack {

inline constexpr std::uint16_t kPayloadResourceId = 101;
inline constexpr std::uint16_t kPayloadDigestResourceId = 102;

// Raised when bytes that claim to be a PE image do not hold together.
class PeFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True when the bytes start like an executable image ("MZ").
bool LooksLikePeImage(std::span<const std::uint8_t> file);

// Finds the RT_RCDATA resource `id` in a PE file (32- or 64-bit) as it lies
// on disk, on any host, by walking the section table and the resource tree
// with every offset checked against the file. Takes the resource's first
// language, which is the neutral one, as the launcher's are, when present.
// Returns nullopt when the image has no such resource; raises PeFormatError
// when the file is not a well-formed PE image.
std::optional<std::span<const std::uint8_t>> FindRcDataResource(std::span<const std::uint8_t> file,
                                                                 std::uint16_t id);

}  // namespace qvn::pack
