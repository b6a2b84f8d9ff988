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
// advance, in whole fields read with one shift each (their places are
// under `private`), so that the fast decoding loop spends few
// instructions on a symbol.
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
  static bool IsSubtableLink(std::uint64_t entry) { return (entry & FlagOf(kSubtableLinkField)) != 0; }

  // Code length plus extra offset bits: all the bits a symbol without
  // length bytes takes.
  static unsigned SymbolBitsOf(std::uint64_t entry) { return Get(entry, kSymbolBitsField); }
  // Bytes a literal (1) or a match without length bytes writes.
  static unsigned OutputLengthOf(std::uint64_t entry) { return Get(entry, kOutputLengthField); }
  static unsigned LiteralOf(std::uint64_t entry) { return Get(entry, kLiteralField); }
  static bool IsMatch(std::uint64_t entry) { return Get(entry, kMatchField) != 0; }
  static unsigned CodeLengthOf(std::uint64_t entry) { return Get(entry, kCodeLengthField); }
  // Extra offset bits of a match; 0 for a literal.
  static unsigned OffsetBitsOf(std::uint64_t entry) { return SymbolBitsOf(entry) - CodeLengthOf(entry); }
  // Whether the match length continues in length bytes (its length nibble
  // is kLongLengthNibble).
  static bool HasLongLength(std::uint64_t entry) { return Get(entry, kLongLengthField) != 0; }
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
  static bool NeedsSlowPath(std::uint64_t entry) { return Get(entry, kSlowPathField) != 0; }

  // What the fast path subtracts from the symbol's bits (code and extra
  // offset bits, read as one number) to get the match offset: (code - 1)
  // shifted by the extra bits. For a literal it is code + literal, which
  // gives minus the literal: its distance in the literal slots.
  static std::int64_t BiasOf(std::uint64_t entry) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(entry, kBiasField)));
  }

 private:
  // A field of an entry: `width` bits from bit `shift` up.
  struct EntryField {
    unsigned shift;
    unsigned width;
  };
  // The entry's layout. The symbol bits sit in the low byte, where the
  // shift that consumes them reads them without unpacking (the decoder's
  // critical path). The symbol's low byte is a literal's value, and its
  // top bit tells a match. The top half holds the bias, or in a link the
  // index of the subtable's first entry.
  static constexpr EntryField kSymbolBitsField{0, 8};
  static constexpr EntryField kOutputLengthField{8, 8};
  static constexpr EntryField kSymbolField{16, 9};
  static constexpr EntryField kLiteralField{16, 8};
  static constexpr EntryField kMatchField{24, 1};
  static constexpr EntryField kCodeLengthField{25, 4};
  static constexpr EntryField kLongLengthField{29, 1};
  static constexpr EntryField kSlowPathField{30, 1};
  static constexpr EntryField kSubtableLinkField{31, 1};
  static constexpr EntryField kBiasField{32, 32};
  static constexpr EntryField kSubtableIndexField = kBiasField;

  static constexpr unsigned Get(std::uint64_t entry, EntryField field) {
    return static_cast<unsigned>(entry >> field.shift) & static_cast<unsigned>((std::uint64_t{1} << field.width) - 1);
  }
  static constexpr std::uint64_t Put(std::uint64_t value, EntryField field) { return value << field.shift; }
  static constexpr std::uint64_t FlagOf(EntryField field) { return Put(1, field); }
  // Every field but the top half's.
  static constexpr std::uint64_t kLowHalfMask = (std::uint64_t{1} << kBiasField.shift) - 1;

  static constexpr int kSubtableBits = kMaxCodeLength - kPrimaryBits;
  static constexpr std::uint32_t kSubtableMask = (1u << kSubtableBits) - 1;
  static constexpr int kPrimarySize = 1 << kPrimaryBits;

  static std::uint32_t SubtableIndexOf(std::uint64_t link, std::uint32_t bits) {
    return Get(link, kSubtableIndexField) + ((bits >> (32 - kMaxCodeLength)) & kSubtableMask);
  }
  static constexpr std::array<std::uint64_t, kSymbolCount> SymbolParts();
  static std::uint64_t MakeEntry(unsigned symbol, unsigned codeLength, std::uint32_t code);
  // Each subtable belongs to at least one symbol longer than kPrimaryBits.
  static constexpr int kMaxSubtableEntries = kSymbolCount << kSubtableBits;

  std::array<std::uint64_t, kPrimarySize + kMaxSubtableEntries> table_;
};

}  // namespace qvn::compression
