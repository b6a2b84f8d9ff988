#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

// The numbers of the LZ77+Huffman (XPRESS Huffman) stream, from Microsoft's
// description of the format, for the encoder and the decoder alike. A
// stream is blocks, each a table of code lengths and then symbols: a
// literal byte, or a match whose symbol holds the count of its offset's
// extra bits and a nibble of its length.
namespace qvn::compression {

// The alphabet: 256 literals, then 256 match symbols.
inline constexpr int kLiteralCount = 256;
inline constexpr int kSymbolCount = 512;
// The last block of a stream ends with this symbol (a match's, with
// neither offset bits nor length nibble).
inline constexpr unsigned kEndOfStreamSymbol = kLiteralCount;

// Code lengths are 4-bit nibbles, two to a byte, one per symbol.
inline constexpr int kMaxCodeLength = 15;
inline constexpr int kLengthTableBytes = kSymbolCount / 2;

// Output a block produces before the stream switches to the next table.
inline constexpr std::uint32_t kBlockSize = 65536;

// A match offset is a top bit and up to 15 extra bits below it.
inline constexpr unsigned kMaxOffsetBits = 15;
inline constexpr std::uint32_t kMaxOffset = (std::uint32_t{1} << (kMaxOffsetBits + 1)) - 1;
inline constexpr std::uint32_t kMinMatchLength = 3;

// A match symbol's length nibble holds the length less kMinMatchLength; at
// kLongLengthNibble the length goes on in length bytes: one byte, below
// kLengthByteEscape, that adds to the nibble; else a 16-bit length less
// kMinMatchLength; and if that is 0, a 32-bit one.
inline constexpr std::uint32_t kLongLengthNibble = 15;
inline constexpr std::uint32_t kLengthByteEscape = 255;
// The longest match whose symbol holds its whole length.
inline constexpr std::uint32_t kLongestNibbleLength = kMinMatchLength + kLongLengthNibble - 1;

constexpr unsigned MatchSymbol(unsigned offsetBits, unsigned lengthNibble) {
  return kLiteralCount + (offsetBits << 4) + lengthNibble;
}
constexpr unsigned OffsetBitsOfSymbol(unsigned matchSymbol) { return (matchSymbol - kLiteralCount) >> 4; }
constexpr unsigned LengthNibbleOfSymbol(unsigned matchSymbol) { return (matchSymbol - kLiteralCount) & 15; }

// The extra bits of an offset (at least 1): those below its top bit.
constexpr unsigned OffsetBitsOf(std::uint32_t offset) { return static_cast<unsigned>(std::bit_width(offset)) - 1; }
constexpr unsigned LengthNibbleOf(std::uint32_t length) {
  return std::min(length - kMinMatchLength, kLongLengthNibble);
}
constexpr unsigned MatchSymbolOf(std::uint32_t length, std::uint32_t offset) {
  return MatchSymbol(OffsetBitsOf(offset), LengthNibbleOf(length));
}
static_assert(MatchSymbol(kMaxOffsetBits, kLongLengthNibble) == kSymbolCount - 1);

// How many length bytes follow the symbol of a match of `length`.
constexpr unsigned LengthByteCount(std::uint32_t length) {
  const std::uint32_t aboveMinimum = length - kMinMatchLength;
  if (aboveMinimum < kLongLengthNibble) return 0;
  if (aboveMinimum - kLongLengthNibble < kLengthByteEscape) return 1;
  return aboveMinimum <= 0xFFFF ? 3 : 7;
}

}  // namespace qvn::compression
