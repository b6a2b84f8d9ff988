#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "compression/xpress_huffman_format.h"

namespace qvn::compression {

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
//
// An entry holds what the decoder needs of its symbol worked out in
// advance, in whole fields read with one shift each, so that the fast
// decoding loop spends few instructions on a symbol.
class HuffmanDecoder {
 public:
  static constexpr int kPrimaryBits = 11;

  // Builds the tables from a block's packed code lengths (low nibble = even
  // symbol). Returns false unless the lengths form a complete prefix code.
  bool Build(std::span<const std::uint8_t, kLengthTableBytes> packedLengths);

  // Entry for the code at the top of `bits`.
  std::uint64_t Lookup(std::uint32_t bits) const {
    const std::uint64_t entry = table_[bits >> (32 - kPrimaryBits)];
    return IsSubtableLink(entry) ? table_[SubtableIndexOf(entry, bits)] : entry;
  }

  // The primary entry for the top of a 64-bit register: either the
  // symbol's entry or, for a code longer than kPrimaryBits, a link that
  // ResolveLink() follows. Links are slow entries (NeedsSlowPath).
  std::uint64_t PrimaryEntry(std::uint64_t bits) const { return table_[bits >> (64 - kPrimaryBits)]; }
  std::uint64_t ResolveLink(std::uint64_t link, std::uint64_t bits) const {
    return table_[SubtableIndexOf(link, static_cast<std::uint32_t>(bits >> 32))];
  }
  static bool IsSubtableLink(std::uint64_t entry) { return (entry & kSubtableFlag) != 0; }

  // Code length plus extra offset bits: all the bits a symbol without
  // length bytes takes. In the low byte, where the shift that consumes
  // them reads them without unpacking (the decoder's critical path).
  static unsigned SymbolBitsOf(std::uint64_t entry) { return entry & 0xFF; }
  // Bytes a literal (1) or a match without length bytes writes.
  static unsigned OutputLengthOf(std::uint64_t entry) { return (entry >> 8) & 0xFF; }
  static unsigned LiteralOf(std::uint64_t entry) { return (entry >> 16) & 0xFF; }
  // The symbol's top bit.
  static bool IsMatch(std::uint64_t entry) { return (entry >> 24) & 1; }
  static unsigned CodeLengthOf(std::uint64_t entry) { return (entry >> 25) & 0xF; }
  // Extra offset bits of a match; 0 for a literal.
  static unsigned OffsetBitsOf(std::uint64_t entry) { return SymbolBitsOf(entry) - CodeLengthOf(entry); }
  // Whether the match length continues in length bytes (length nibble 15).
  static bool HasLongLength(std::uint64_t entry) { return (entry >> 29) & 1; }
  // Code and offset bits of a symbol the fast path takes: two of them fit
  // in the 48 bits one refill leaves.
  static constexpr unsigned kMaxFastSymbolBits = 24;
  // The fast path copies 16 bytes in one step for every symbol, all loaded
  // before any is stored. That is whole for a match of at most 16 bytes
  // whose offset is at least 16, or at least its length (an offset with
  // n extra bits is at least 2 to the n): every byte it needs is final.
  static constexpr unsigned kFastCopyBytes = 16;

  // Whether the decoder's fast path must leave the symbol to the slow one:
  // a link to a subtable, a match with length bytes, one longer than
  // kFastCopyBytes, one that may overlap its own source within the copy,
  // or one whose code and offset bits exceed kMaxFastSymbolBits.
  static bool NeedsSlowPath(std::uint64_t entry) { return (entry >> 30) & 1; }

  // What the fast path subtracts from the symbol's bits (code and extra
  // offset bits, read as one number) to get the match offset: (code - 1)
  // shifted by the extra bits. For a literal it is code + literal, which
  // gives minus the literal: its distance in the literal slots.
  static std::int64_t BiasOf(std::uint64_t entry) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(entry >> 32));
  }

 private:
  static constexpr int kSubtableBits = kMaxCodeLength - kPrimaryBits;
  static constexpr std::uint32_t kSubtableMask = (1u << kSubtableBits) - 1;
  static constexpr std::uint64_t kSlowFlag = std::uint64_t{1} << 30;
  static constexpr std::uint64_t kSubtableFlag = std::uint64_t{1} << 31;
  static constexpr int kPrimarySize = 1 << kPrimaryBits;

  static std::uint32_t SubtableIndexOf(std::uint64_t link, std::uint32_t bits) {
    return static_cast<std::uint32_t>(link >> 32) + ((bits >> (32 - kMaxCodeLength)) & kSubtableMask);
  }
  static constexpr std::array<std::uint64_t, kSymbolCount> SymbolParts();
  static std::uint64_t MakeEntry(unsigned symbol, unsigned codeLength, std::uint32_t code);
  // Each subtable belongs to at least one symbol longer than kPrimaryBits.
  static constexpr int kMaxSubtableEntries = kSymbolCount << kSubtableBits;

  std::array<std::uint64_t, kPrimarySize + kMaxSubtableEntries> table_;
};

}  // namespace qvn::compression
