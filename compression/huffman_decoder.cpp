#include "compression/huffman_decoder.h"

#include <algorithm>

namespace qvn::compression {

std::uint64_t HuffmanDecoder::MakeEntry(unsigned symbol, unsigned codeLength, std::uint32_t code) {
  const std::uint64_t common = (std::uint64_t{symbol} << 16) | (std::uint64_t{codeLength} << 25);
  if (symbol < 256) {
    const auto bias = static_cast<std::uint32_t>(code + symbol);
    return codeLength | (1u << 8) | common | (std::uint64_t{bias} << 32);
  }
  const unsigned matchSymbol = symbol - 256;
  const unsigned offsetBits = matchSymbol >> 4;
  const unsigned lengthNibble = matchSymbol & 15;
  // Negative for the code 0: the field is read back as signed.
  const auto bias = static_cast<std::uint32_t>((std::int64_t{code} - 1) * (std::int64_t{1} << offsetBits));
  return (codeLength + offsetBits) | ((lengthNibble + 3) << 8) | common |
         (lengthNibble == 15 ? std::uint64_t{1} << 29 : 0) |
         (lengthNibble == 15 || offsetBits < 3 || codeLength + offsetBits > kMaxFastSymbolBits ? kSlowFlag : 0) |
         (std::uint64_t{bias} << 32);
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

  std::fill_n(table_.begin(), kPrimarySize, std::uint64_t{0});
  std::uint32_t nextSubtable = kPrimarySize;
  for (std::uint32_t symbol = 0; symbol < kSymbolCount; ++symbol) {
    const unsigned length = lengths[symbol];
    if (length == 0) {
      continue;
    }
    const std::uint32_t symbolCode = nextCode[length]++;
    const std::uint64_t entry = MakeEntry(symbol, length, symbolCode);
    if (length <= kPrimaryBits) {
      const std::uint32_t first = symbolCode << (kPrimaryBits - length);
      std::fill_n(table_.begin() + first, 1u << (kPrimaryBits - length), entry);
      continue;
    }
    const std::uint32_t prefix = symbolCode >> (length - kPrimaryBits);
    if (!IsSubtableLink(table_[prefix])) {
      table_[prefix] = kSubtableFlag | kSlowFlag | (std::uint64_t{nextSubtable} << 32);
      nextSubtable += 1u << kSubtableBits;
    }
    const auto subtable = static_cast<std::uint32_t>(table_[prefix] >> 32);
    const std::uint32_t first = (symbolCode << (kMaxCodeLength - length)) & kSubtableMask;
    std::fill_n(table_.begin() + subtable + first, 1u << (kMaxCodeLength - length), entry);
  }
  return true;
}

}  // namespace qvn::compression
