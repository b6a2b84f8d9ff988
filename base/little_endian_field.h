#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "base/byte_order.h"

namespace qvn {

// A little-endian field of a binary structure: where it lies from the
// structure's start, and its type, which gives its width. A layout
// declares each field once, and its readers and writers go through that
// declaration.
template <typename T>
struct LeField {
  static_assert(std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t> ||
                std::is_same_v<T, std::uint32_t>);
  static constexpr int kWidth = sizeof(T);

  std::uint64_t offset;

  // Where the next field may start.
  constexpr std::uint64_t End() const { return offset + kWidth; }
};

template <typename T>
T LoadField(const std::uint8_t* structure, LeField<T> field) {
  const std::uint8_t* const at = structure + field.offset;
  if constexpr (sizeof(T) == 1) {
    return *at;
  } else if constexpr (sizeof(T) == 2) {
    return LoadLe16(at);
  } else {
    return LoadLe32(at);
  }
}

template <typename T>
void StoreField(std::uint8_t* structure, LeField<T> field, std::type_identity_t<T> value) {
  std::uint8_t* const at = structure + field.offset;
  if constexpr (sizeof(T) == 1) {
    *at = value;
  } else if constexpr (sizeof(T) == 2) {
    StoreLe16(at, value);
  } else {
    StoreLe32(at, value);
  }
}

// The field of the structure at `structure` in `bytes`, which grow to hold
// it.
template <typename T>
void PutField(std::vector<std::uint8_t>& bytes, std::uint64_t structure, LeField<T> field,
              std::type_identity_t<T> value) {
  PutLittleEndian(bytes, structure + field.offset, value, LeField<T>::kWidth);
}

}  // namespace qvn
