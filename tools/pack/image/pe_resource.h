#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace qvn::pack {

inline constexpr std::uint16_t kResourceTypeIcon = 3;
inline constexpr std::uint16_t kResourceTypeRcData = 10;
inline constexpr std::uint16_t kResourceTypeGroupIcon = 14;
inline constexpr std::uint16_t kResourceTypeVersion = 16;
inline constexpr std::uint16_t kResourceTypeManifest = 24;
inline constexpr std::uint16_t kLanguageNeutral = 0;

// A resource's type or name: a number, or a UTF-16 string.
using ResourceName = std::variant<std::uint16_t, std::u16string>;

// The order of a resource directory's entries: named ones first, by their
// code units, then numbered ones by number.
inline bool ResourceNameBefore(const ResourceName& a, const ResourceName& b) {
  if (a.index() != b.index()) return a.index() == 1;
  return a < b;
}

// One resource of an image: its place in the three-level tree and a view of
// its bytes, which the caller keeps alive.
struct PeResource {
  ResourceName type;
  ResourceName name;
  std::uint16_t language = kLanguageNeutral;
  std::uint32_t codePage = 0;
  std::span<const std::uint8_t> bytes;

  bool SamePlace(const PeResource& other) const {
    return type == other.type && name == other.name && language == other.language;
  }
};

}  // namespace qvn::pack
