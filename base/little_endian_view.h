#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/little_endian_field.h"

namespace qvn {

// Little-endian reads from a file's bytes, each checked against its end;
// a read past the end raises `Error` naming what was being read.
template <typename Error>
class LittleEndianView {
 public:
  explicit LittleEndianView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t size() const { return bytes_.size(); }
  bool Holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  std::uint32_t Read(std::uint64_t offset, int width, const char* what) const {
    if (!Holds(offset, static_cast<std::uint64_t>(width)))
      throw Error(std::string(what) + " lies past the end of the file");
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes_[offset + static_cast<std::uint64_t>(i)];
    return value;
  }
  std::uint8_t U8(std::uint64_t offset, const char* what) const {
    return static_cast<std::uint8_t>(Read(offset, 1, what));
  }
  std::uint16_t U16(std::uint64_t offset, const char* what) const {
    return static_cast<std::uint16_t>(Read(offset, 2, what));
  }
  std::uint32_t U32(std::uint64_t offset, const char* what) const { return Read(offset, 4, what); }
  // `field` of the structure at `structure`.
  template <typename T>
  T Get(std::uint64_t structure, LeField<T> field, const char* what) const {
    return static_cast<T>(Read(structure + field.offset, LeField<T>::kWidth, what));
  }
  std::uint64_t U64(std::uint64_t offset, const char* what) const {
    const std::uint32_t low = U32(offset, what);
    return (std::uint64_t{U32(offset + 4, what)} << 32) | low;
  }
  std::span<const std::uint8_t> Slice(std::uint64_t offset, std::uint64_t length, const char* what) const {
    if (!Holds(offset, length)) throw Error(std::string(what) + " lies past the end of the file");
    return bytes_.subspan(offset, length);
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace qvn
