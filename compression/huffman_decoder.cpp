#include "compression/huffman_decoder.h"

#include <algorithm>

namespace qvn::compression {

std::uint32_t HuffmanDecoder::MakeEntry(unsigned symbol, unsigned codeLength) {
  if (symbol < 256) {
    return codeLength | (codeLength << 6) | (symbol << 14) | (1u << 24);
  }
  const unsigned matchSymbol = symbol - 256;
  const unsigned offsetBits = matchSymbol >> 4;
  const unsigned lengthNibble = matchSymbol & 15;
  // Bit 22, the match flag, is the symbol's top bit.
  return (codeLength + offsetBits) | (codeLength << 6) | (offsetBits << 10) | (symbol << 14) |
         (lengthNibble == 15 ? 1u << 23 : 0) | ((lengthNibble + 3) << 24) |
         (lengthNibble == 15 || offsetBits < 3 ? 1u << 29 : 0);
}

LengthCounts FirstCanonicalCodes(LengthCounts countOfLength) {
  countOfLength[0] = 0;
  LengthCounts firstCode{};
  std::uint32_t code = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code = (code + countOfLength[length - 1]) << 1;
    firstCode[length] = code;
  }
  return firstCode;
}

bool HuffmanDecoder::Build(std::span<const std::uint8_t, kLengthTableBytes> packedLengths) {
  std::array<std::uint8_t, kSymbolCount> lengths;
  LengthCounts countOfLength{};
  for (int i = 0; i < kLengthTableBytes; ++i) {
    lengths[2 * i] = packedLengths[i] & 0x0F;
    lengths[2 * i + 1] = packedLengths[i] >> 4;
    ++countOfLength[lengths[2 * i]];
    ++countOfLength[lengths[2 * i + 1]];
  }

  // The code must fill the code space exactly: an incomplete code would
  // leave bit patterns without a symbol, an oversubscribed one is ambiguous.
  std::uint32_t usedSpace = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    usedSpace += countOfLength[length] << (kMaxCodeLength - length);
  }
  if (usedSpace != (1u << kMaxCodeLength)) {
    return false;
  }

  // Canonical codes: ordered by length, then by symbol. Unused symbols
  // (length 0) take no code space.
  LengthCounts nextCode = FirstCanonicalCodes(countOfLength);

  std::fill_n(table_.begin(), kPrimarySize, 0u);
  std::uint32_t nextSubtable = kPrimarySize;
  for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
    const unsigned length = lengths[symbol];
    if (length == 0) {
      continue;
    }
    const std::uint32_t symbolCode = nextCode[length]++;
    const std::uint32_t entry = MakeEntry(symbol, length);
    if (length <= kPrimaryBits) {
      const std::uint32_t first = symbolCode << (kPrimaryBits - length);
      std::fill_n(table_.begin() + first, 1u << (kPrimaryBits - length), entry);
      continue;
    }
    const std::uint32_t prefix = symbolCode >> (length - kPrimaryBits);
    if (!(table_[prefix] & kSubtableFlag)) {
      table_[prefix] = kSubtableFlag | nextSubtable;
      nextSubtable += 1u << kSubtableBits;
    }
    const std::uint32_t subtable = table_[prefix] & 0xFFFF;
    const std::uint32_t first = (symbolCode << (kMaxCodeLength - length)) & kSubtableMask;
    std::fill_n(table_.begin() + subtable + first, 1u << (kMaxCodeLength - length), entry);
  }
  return true;
}

}  // namespace qvn::compression
