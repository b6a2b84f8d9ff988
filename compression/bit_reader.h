#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"

#if (defined(__SSE2__) && defined(__x86_64__)) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace qvn::compression {

// The bit stream of one LZ77+Huffman block: 16-bit little-endian words fed
// into a 32-bit register, first word on top, bits taken from the top. As
// soon as fewer than 16 bits remain, the next word is loaded. Length escape
// bytes are read from the byte position after the words loaded so far.
//
// BitReader follows that definition word by word and checks every read, so
// it is safe to the last byte of the input. Near the end of a stream the
// format's eager refill may ask for a word that is not there; the reader
// then loads zeros and fails only if those missing bits are consumed.
class BitReader {
 public:
  // Starts a block's bit stream at `next`: loads its first two words.
  BitReader(const std::uint8_t* next, const std::uint8_t* end) : next_(next), end_(end) {
    // Not in the initialiser list: LoadWord needs next_ and end_ set first.
    bits_ = static_cast<std::uint32_t>(LoadWord()) << 16;  // NOLINT(cppcoreguidelines-prefer-member-initializer)
    bits_ |= LoadWord();
  }

  // Continues a block from a known register state (`available` 16 to 32).
  BitReader(std::uint32_t bits, unsigned available, const std::uint8_t* next, const std::uint8_t* end)
      : next_(next), end_(end), bits_(bits), available_(available) {}

  std::uint32_t Bits() const { return bits_; }
  const std::uint8_t* Position() const { return next_; }

  bool Consume(unsigned count) {
    if (count + missing_ > available_) {
      return false;
    }
    bits_ <<= count;
    available_ -= count;
    if (available_ < 16) {
      bits_ |= static_cast<std::uint32_t>(LoadWord()) << (16 - available_);
      available_ += 16;
    }
    return true;
  }

  // The top `count` bits (0 to 15) of the register, without consuming them.
  std::uint32_t TopBits(unsigned count) const { return (bits_ >> 1) >> (31 - count); }

  bool ReadByte(std::uint8_t& value) {
    if (end_ - next_ < 1) {
      return false;
    }
    value = *next_++;
    return true;
  }
  bool Read16(std::uint16_t& value) {
    if (end_ - next_ < 2) {
      return false;
    }
    value = LoadLe16(next_);
    next_ += 2;
    return true;
  }
  bool Read32(std::uint32_t& value) {
    if (end_ - next_ < 4) {
      return false;
    }
    value = LoadLe32(next_);
    next_ += 4;
    return true;
  }

 private:
  std::uint16_t LoadWord() {
    if (end_ - next_ >= 2) {
      const std::uint16_t word = LoadLe16(next_);
      next_ += 2;
      return word;
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

// The fast reader for the bulk of a block. It keeps up to 64 bits and loads
// words ahead of the format, so that the next symbol's bits never wait for
// a refill. Loading ahead is harmless until a length escape: those bytes sit
// at the format's byte position, which is computable, because after C bits
// the format has loaded exactly max(2, 1 + ceil(C / 16)) words of the block.
// Synchronize() gives the words loaded ahead back and returns that position.
// No read is checked: the caller keeps kFastReadMargin bytes in front of
// Position().
class PrefetchingBitReader {
  // Four little-endian words from `p`, the first one on top: one SSE2
  // shuffle where the target has it, shifts and masks elsewhere.
  static std::uint64_t LoadWordsFirstOnTop(const std::uint8_t* p) {
#if (defined(__SSE2__) && defined(__x86_64__)) || defined(_M_X64)
    return static_cast<std::uint64_t>(
        _mm_cvtsi128_si64(_mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), 0x1B)));
#else
    std::uint64_t words = LoadLe64(p);
    words = ((words & 0x0000FFFF0000FFFFull) << 16) | ((words >> 16) & 0x0000FFFF0000FFFFull);
    return (words << 32) | (words >> 32);
#endif
  }

 public:
  // A refill loads 8 bytes. Between two refills the format's position may
  // move up to 6 bytes past the reader's and 7 length bytes further, and
  // the decoder may refill three times without checking its position in
  // between.
  static constexpr std::ptrdiff_t kFastReadMargin = 40;
  // How far one refill moves the position at most.
  static constexpr std::ptrdiff_t kRefillStep = 6;
  // How far one turn of the decoder's fast loop moves the position at most
  // before it checks again: one refill, or three around a slow symbol,
  // which then ends the turns.
  static constexpr std::ptrdiff_t kTurnStep = kRefillStep;

  // Starts a block's bit stream at `next`.
  explicit PrefetchingBitReader(const std::uint8_t* next) : next_(next) { Refill(); }

  const std::uint8_t* Position() const { return next_; }
  std::uint64_t Bits() const { return bits_; }

  // Tops the register up to at least 48 bits. Bits below the valid ones
  // are the stream's next bits, so loading them again is harmless.
  void Refill() {
    const std::uint64_t words = LoadWordsFirstOnTop(next_);
    bits_ |= words >> available_;
    // Whole words up to 48 or more valid bits: for any count below 64 that
    // is adding the bits 16 and 32 it lacks.
    next_ += (~available_ & 48) >> 3;
    available_ |= 48;
  }

  // At most 48 bits between refills.
  void Consume(unsigned count) {
    bits_ <<= count;
    available_ -= count;
  }

  // The top `count` bits (0 to 15).
  std::uint32_t TopBits(unsigned count) const { return static_cast<std::uint32_t>((bits_ >> 1) >> (63 - count)); }

  // Drops the words loaded ahead of the format and returns the format's byte
  // position. Once a block has consumed a bit, the format holds 16 to 31
  // bits (it loads a word as soon as fewer than 16 remain), as many modulo
  // 16 as this reader, which needs at least 16 loaded.
  const std::uint8_t* Synchronize() {
    next_ -= 2 * ((available_ >> 4) - 1);
    available_ = 16 + (available_ & 15);
    bits_ &= ~(~std::uint64_t{0} >> available_);
    return next_;
  }

  // Steps over length bytes read at the synchronized position.
  void SkipBytes(std::ptrdiff_t count) { next_ += count; }

  // The exact reader at this point; needs at least 16 bits loaded. Before
  // the block's first bit is consumed, Synchronize() stops one word short
  // of the format (16 bits, at the second word): the exact reader loads
  // that word with its first read, as the format would have, so the two
  // agree from there on.
  BitReader ToExact(const std::uint8_t* end) {
    const std::uint8_t* position = Synchronize();
    return BitReader(static_cast<std::uint32_t>(bits_ >> 32), available_, position, end);
  }

 private:
  const std::uint8_t* next_;
  std::uint64_t bits_ = 0;
  unsigned available_ = 0;  // valid bits at the top of bits_
};

}  // namespace qvn::compression
