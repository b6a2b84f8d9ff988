#include "compression/huffman_decoder.h"

#include <array>
#include <cstring>

namespace qvn::compression {
namespace {

// Writes `entry` to `count` (a power of two) slots from `slot` on, two per
// 16-byte store: a short code fills hundreds of slots.
void FillSlots(std::uint64_t* slot, std::uint32_t count, std::uint64_t entry) {
  if (count == 1) {
    *slot = entry;
    return;
  }
  const std::array<std::uint64_t, 2> pair{entry, entry};
  for (std::uint64_t* const end = slot + count; slot < end; slot += 2) {
    std::memcpy(slot, pair.data(), sizeof pair);
  }
}

}  // namespace

constexpr std::array<std::uint64_t, kSymbolCount> HuffmanDecoder::SymbolParts() {
  // A symbol's low byte is a literal's value, its top bit tells a match.
  static_assert(kLiteralField.shift == kSymbolField.shift && kMatchField.shift == kSymbolField.shift + 8);
  std::array<std::uint64_t, kSymbolCount> parts{};
  for (unsigned symbol = 0; symbol < kLiteralCount; ++symbol) {
    parts[symbol] = Put(1, kOutputLengthField) | Put(symbol, kSymbolField) | Put(symbol, kBiasField);
  }
  for (unsigned symbol = kLiteralCount; symbol < kSymbolCount; ++symbol) {
    const unsigned offsetBits = OffsetBitsOfSymbol(symbol);
    const unsigned lengthNibble = LengthNibbleOfSymbol(symbol);
    const unsigned length = lengthNibble + kMinMatchLength;
    const unsigned minOffset = 1u << offsetBits;
    const bool overlaps = minOffset < kFastCopyBytes && length > minOffset;
    parts[symbol] = Put(offsetBits, kSymbolBitsField) | Put(length, kOutputLengthField) | Put(symbol, kSymbolField) |
                    (lengthNibble == kLongLengthNibble ? FlagOf(kLongLengthField) : 0) |
                    (length > kFastCopyBytes || overlaps ? FlagOf(kSlowPathField) : 0) | Put(0xFFFFFFFF, kBiasField);
  }
  return parts;
}

std::uint64_t HuffmanDecoder::MakeEntry(unsigned symbol, unsigned codeLength, std::uint32_t code) {
  // Worked out once per symbol: every field but those of the code, the
  // extra offset bits in the low byte, and in the top half what the code is
  // offset by before the shift that gives the bias (the literal, or -1).
  // No branch on the symbol's kind: a block's symbols come in code order,
  // literals and matches mixed.
  static constexpr std::array<std::uint64_t, kSymbolCount> kParts = SymbolParts();
  const std::uint64_t parts = kParts[symbol];
  const unsigned offsetBits = SymbolBitsOf(parts);
  const std::uint32_t bias = (code + Get(parts, kBiasField)) << offsetBits;
  const std::uint64_t slow = codeLength + offsetBits > kMaxFastSymbolBits ? FlagOf(kSlowPathField) : 0;
  // The code length adds to the offset bits already in the symbol bits.
  return ((parts & kLowHalfMask) + Put(codeLength, kSymbolBitsField) + Put(codeLength, kCodeLengthField)) | slow |
         Put(bias, kBiasField);
}

LengthCounts FirstCanonicalCodes(LengthCounts countOfLength) {
  countOfLength[0] = 0;
  LengthCounts firstCode{};
  std::uint32_t code = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + countOfLength[length - 1]) << 1;
    firstCode[length] = code;
  }
  return firstCode;
}

bool HuffmanDecoder::Build(std::span<const std::uint8_t, kLengthTableBytes> packedLengths) {
  std::array<std::uint8_t, kSymbolCount> lengths{};
  LengthCounts countOfLength{};
  for (unsigned i = 0; i < kLengthTableBytes; ++i) {
    lengths[2 * i] = packedLengths[i] & 0x0F;
    lengths[2 * i + 1] = packedLengths[i] >> 4;
    ++countOfLength[lengths[2 * i]];
    ++countOfLength[lengths[2 * i + 1]];
  }

  // The code must fill the code space exactly: an incomplete code would
  // leave bit patterns without a symbol, an oversubscribed one is ambiguous.
  std::uint32_t usedSpace = 0;
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    usedSpace += countOfLength[length] << (kMaxCodeLength - length);
  }
  if (usedSpace != (1u << kMaxCodeLength)) {
    return false;
  }

  // Canonical codes are ordered by length, then by symbol, so walking the
  // symbols in that order (a counting sort by length) hands out codes in
  // increasing order: the primary entries fill the table from the front,
  // and the long codes that share a primary slot come one after another.
  // A complete code writes every primary entry, so nothing is cleared first.
  // The unused symbols (length 0) sort to the front, so that the sort does
  // not branch on them; the used ones follow from countOfLength[0] on.
  std::array<std::uint32_t, kMaxCodeLength + 1> position{};
  for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
    position[length] = position[length - 1] + countOfLength[length - 1];
  }
  std::array<std::uint16_t, kSymbolCount> inCodeOrder{};
  for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
    inCodeOrder[position[lengths[symbol]]++] = static_cast<std::uint16_t>(symbol);
  }

  std::uint32_t code = 0;
  std::uint32_t slot = 0;
  unsigned length = 1;
  std::uint32_t i = countOfLength[0];
  for (; i < kSymbolCount; ++i) {
    const unsigned symbol = inCodeOrder[i];
    const unsigned symbolLength = lengths[symbol];
    code <<= symbolLength - length;
    length = symbolLength;
    if (length > kPrimaryBits) {
      break;
    }
    const std::uint64_t entry = MakeEntry(symbol, length, code);
    const std::uint32_t count = 1u << (kPrimaryBits - length);
    FillSlots(table_.data() + slot, count, entry);
    slot += count;
    ++code;
  }
  std::uint32_t nextSubtable = kPrimarySize;
  std::uint32_t subtable = 0;
  std::uint32_t linkedPrefix = kPrimarySize;
  for (; i < kSymbolCount; ++i) {
    const unsigned symbol = inCodeOrder[i];
    const unsigned symbolLength = lengths[symbol];
    code <<= symbolLength - length;
    length = symbolLength;
    const std::uint32_t prefix = code >> (length - kPrimaryBits);
    if (prefix != linkedPrefix) {
      linkedPrefix = prefix;
      subtable = nextSubtable;
      table_[prefix] = FlagOf(kSubtableLinkField) | FlagOf(kSlowPathField) | Put(subtable, kSubtableIndexField);
      nextSubtable += 1u << kSubtableBits;
    }
    const std::uint32_t first = (code << (kMaxCodeLength - length)) & kSubtableMask;
    FillSlots(table_.data() + subtable + first, 1u << (kMaxCodeLength - length), MakeEntry(symbol, length, code));
    ++code;
  }
  return true;
}

}  // namespace qvn::compression
