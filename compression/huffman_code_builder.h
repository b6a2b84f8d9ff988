#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "compression/huffman_decoder.h"

namespace qvn::compression {

using CodeLengths = std::array<std::uint8_t, kSymbolCount>;
using Frequencies = std::array<std::uint32_t, kSymbolCount>;

// Code lengths for the symbols with a non-zero frequency (0 for the others):
// Huffman's lengths, reshaped where they exceed `maxLength`. When any symbol
// is used, the lengths form a complete prefix code, as the decoder demands;
// a lone used symbol is paired with an unused one so that it has a code.
CodeLengths BuildCodeLengths(const Frequencies& frequencies, int maxLength = kMaxCodeLength);

// Canonical code values (ordered by length, then symbol), to be written
// most significant bit first.
std::array<std::uint16_t, kSymbolCount> AssignCanonicalCodes(const CodeLengths& lengths);

}  // namespace qvn::compression
