#pragma once

#include <cstddef>
#include <cstdint>

#include "compression/byte_order.h"

namespace qvn::compression {

// The bit stream of one LZ77+Huffman block: 16-bit little-endian words fed
// into a 32-bit register, first word on top, bits taken from the top. As
// soon as fewer than 16 bits remain, the next word is loaded. Length escape
// bytes are read from the byte position after the words loaded so far, so
// the refill must happen exactly when the format says, never ahead of time.
//
// Two flavours of every read: the Fast ones assume the caller checked that
// at least kFastReadMargin bytes remain for the current symbol; the Checked
// ones work to the last byte. Near the end of a stream the format's eager
// refill may ask for a word that is not there; Checked reads then load
// zeros and fail only if those missing bits are actually consumed.
class BitReader {
 public:
  // Bytes one symbol can read at most: two refills and a 1+2+4-byte length.
  static constexpr std::ptrdiff_t kFastReadMargin = 16;

  BitReader(const std::uint8_t* next, const std::uint8_t* end) : next_(next), end_(end) {
    bits_ = static_cast<std::uint32_t>(LoadWordChecked()) << 16;
    bits_ |= LoadWordChecked();
  }

  std::uint32_t Bits() const { return bits_; }
  const std::uint8_t* Position() const { return next_; }
  std::ptrdiff_t BytesLeft() const { return end_ - next_; }

  void ConsumeFast(unsigned count) {
    bits_ <<= count;
    available_ -= count;
    if (available_ < 16) {
      bits_ |= static_cast<std::uint32_t>(LoadLe16(next_)) << (16 - available_);
      next_ += 2;
      available_ += 16;
    }
  }

  bool ConsumeChecked(unsigned count) {
    if (count + missing_ > available_) {
      return false;
    }
    bits_ <<= count;
    available_ -= count;
    if (available_ < 16) {
      bits_ |= static_cast<std::uint32_t>(LoadWordChecked()) << (16 - available_);
      available_ += 16;
    }
    return true;
  }

  // The top `count` bits (0 to 15) of the register, without consuming them.
  std::uint32_t TopBits(unsigned count) const {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(bits_) << count) >> 32);
  }

  std::uint8_t ReadByteFast() { return *next_++; }
  std::uint16_t Read16Fast() {
    std::uint16_t value = LoadLe16(next_);
    next_ += 2;
    return value;
  }
  std::uint32_t Read32Fast() {
    std::uint32_t value = LoadLe32(next_);
    next_ += 4;
    return value;
  }

  bool ReadByteChecked(std::uint8_t& value) {
    if (end_ - next_ < 1) {
      return false;
    }
    value = ReadByteFast();
    return true;
  }
  bool Read16Checked(std::uint16_t& value) {
    if (end_ - next_ < 2) {
      return false;
    }
    value = Read16Fast();
    return true;
  }
  bool Read32Checked(std::uint32_t& value) {
    if (end_ - next_ < 4) {
      return false;
    }
    value = Read32Fast();
    return true;
  }

 private:
  std::uint16_t LoadWordChecked() {
    if (end_ - next_ >= 2) {
      return Read16Fast();
    }
    // A stray odd byte can only belong to this word, so it is dropped too.
    next_ = end_;
    missing_ += 16;
    return 0;
  }

  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint32_t bits_ = 0;
  unsigned available_ = 32;  // valid bits at the top of bits_
  unsigned missing_ = 0;     // of those, zero bits standing in for absent input
};

}  // namespace qvn::compression
