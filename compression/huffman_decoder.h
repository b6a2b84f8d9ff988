#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qvn::compression {

// Number of symbols of the LZ77+Huffman alphabet: 256 literals, 256 matches.
inline constexpr int kSymbolCount = 512;
inline constexpr int kMaxCodeLength = 15;
// Size of the per-block table of 4-bit code lengths.
inline constexpr int kLengthTableBytes = kSymbolCount / 2;

using LengthCounts = std::array<std::uint32_t, kMaxCodeLength + 1>;

// The first code of each length of a canonical code (ordered by length, then
// by symbol), from how many symbols have each length; the count of length 0,
// the unused symbols, takes no code space. Shared by encoder and decoder so
// both assign the same codes.
LengthCounts FirstCanonicalCodes(LengthCounts countOfLength);

// Decodes the canonical Huffman code of one block by table lookup. The
// primary table is indexed by the top kPrimaryBits of the bit register and
// resolves every shorter code in one step; longer codes (rare) go through a
// 16-entry subtable per primary slot, indexed by the next four bits.
class HuffmanDecoder {
 public:
  static constexpr int kPrimaryBits = 11;

  // Builds the tables from a block's packed code lengths (low nibble = even
  // symbol). Returns false unless the lengths form a complete prefix code.
  bool Build(std::span<const std::uint8_t, kLengthTableBytes> packedLengths);

  // Entry for the code at the top of `bits`, with what the decoder needs of
  // the symbol worked out in advance (see the accessors below).
  std::uint32_t Lookup(std::uint32_t bits) const {
    std::uint32_t entry = table_[bits >> (32 - kPrimaryBits)];
    if (entry & kSubtableFlag) {
      entry = table_[(entry & 0xFFFF) + ((bits >> (32 - kMaxCodeLength)) & kSubtableMask)];
    }
    return entry;
  }

  // Code length plus extra offset bits: all the bits a symbol without
  // length bytes takes. In the low bits, so that a shift by the entry
  // masked to 6 bits consumes them without unpacking (the decoder's
  // critical path).
  static unsigned SymbolBitsOf(std::uint32_t entry) { return entry & 0x3F; }
  static unsigned CodeLengthOf(std::uint32_t entry) { return (entry >> 6) & 0xF; }
  // Extra offset bits of a match; 0 for a literal.
  static unsigned OffsetBitsOf(std::uint32_t entry) { return (entry >> 10) & 0xF; }
  static unsigned SymbolOf(std::uint32_t entry) { return (entry >> 14) & 0x1FF; }
  static bool IsMatch(std::uint32_t entry) { return (entry >> 22) & 1; }
  // Whether the match length continues in length bytes (length nibble 15).
  static bool HasLongLength(std::uint32_t entry) { return (entry >> 23) & 1; }
  static unsigned OutputLengthOf(std::uint32_t entry) { return (entry >> 24) & 0x1F; }
  // Whether a match has length bytes or may have an offset below 8: the
  // decoder's fast path copies in 8-byte steps and reads no length bytes.
  static bool NeedsCarefulCopy(std::uint32_t entry) { return (entry >> 29) & 1; }

 private:
  static constexpr int kSubtableBits = kMaxCodeLength - kPrimaryBits;
  static constexpr std::uint32_t kSubtableMask = (1u << kSubtableBits) - 1;
  static constexpr std::uint32_t kSubtableFlag = 0x80000000u;
  static constexpr int kPrimarySize = 1 << kPrimaryBits;

  static std::uint32_t MakeEntry(unsigned symbol, unsigned codeLength);
  // Each subtable belongs to at least one symbol longer than kPrimaryBits.
  static constexpr int kMaxSubtableEntries = kSymbolCount << kSubtableBits;

  std::array<std::uint32_t, kPrimarySize + kMaxSubtableEntries> table_;
};

}  // namespace qvn::compression
