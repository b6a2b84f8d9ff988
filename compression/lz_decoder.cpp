#include "compression/lz_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "compression/bit_reader.h"
#include "compression/huffman_decoder.h"

namespace qvn::compression {
namespace {

// Output a block produces before the stream switches to the next table.
constexpr std::ptrdiff_t kBlockOutputSize = 65536;

// Copies a match whose source overlaps its destination (offset < length) or
// that ends too close to the end of the output for 8-byte steps.
void CopyMatchCarefully(std::uint8_t* out, std::size_t offset, std::size_t length) {
  const std::uint8_t* source = out - offset;
  if (offset == 1) {
    std::memset(out, *source, length);
    return;
  }
  if (length <= 32) {
    for (std::size_t i = 0; i < length; ++i) {
      out[i] = source[i];
    }
    return;
  }
  // The bytes from `source` on repeat with period `offset`, so copying from
  // `source` keeps the pattern as long as the distance stays a multiple of
  // it; the distance doubles each step, so long runs take few memcpy calls.
  while (length > 0) {
    const std::size_t step = std::min(length, static_cast<std::size_t>(out - source));
    std::memcpy(out, source, step);
    out += step;
    length -= step;
  }
}

// Decodes one symbol and writes its output. kChecked selects reads that are
// safe to the last input byte; the fast variant relies on the caller having
// checked BitReader::kFastReadMargin. Output bounds are always checked, once
// per symbol.
template <bool kChecked>
bool DecodeSymbol(BitReader& reader, const HuffmanDecoder& decoder,
                  std::uint8_t* const outBegin, std::uint8_t*& out,
                  std::uint8_t* const outEnd) {
  const std::uint32_t entry = decoder.Lookup(reader.Bits());
  const unsigned symbol = HuffmanDecoder::SymbolOf(entry);
  if constexpr (kChecked) {
    if (!reader.ConsumeChecked(HuffmanDecoder::LengthOf(entry))) {
      return false;
    }
  } else {
    reader.ConsumeFast(HuffmanDecoder::LengthOf(entry));
  }

  if (symbol < 256) {
    *out++ = static_cast<std::uint8_t>(symbol);
    return true;
  }

  const unsigned matchSymbol = symbol - 256;
  const unsigned offsetBits = matchSymbol >> 4;
  std::uint64_t length = matchSymbol & 15;
  if (length == 15) {
    // Longer lengths come as bytes from the input, between the symbol's
    // bits and the offset's bits.
    std::uint8_t lengthByte = 0;
    if constexpr (kChecked) {
      if (!reader.ReadByteChecked(lengthByte)) {
        return false;
      }
    } else {
      lengthByte = reader.ReadByteFast();
    }
    if (lengthByte < 255) {
      length = lengthByte + 15;
    } else {
      std::uint16_t length16 = 0;
      if constexpr (kChecked) {
        if (!reader.Read16Checked(length16)) {
          return false;
        }
      } else {
        length16 = reader.Read16Fast();
      }
      if (length16 != 0) {
        length = length16;
      } else {
        std::uint32_t length32 = 0;
        if constexpr (kChecked) {
          if (!reader.Read32Checked(length32)) {
            return false;
          }
        } else {
          length32 = reader.Read32Fast();
        }
        length = length32;
      }
    }
  }
  length += 3;

  const std::size_t offset = (std::size_t{1} << offsetBits) | reader.TopBits(offsetBits);
  if constexpr (kChecked) {
    if (!reader.ConsumeChecked(offsetBits)) {
      return false;
    }
  } else {
    reader.ConsumeFast(offsetBits);
  }

  const std::size_t written = static_cast<std::size_t>(out - outBegin);
  const std::size_t room = static_cast<std::size_t>(outEnd - out);
  if (offset > written || length > room) {
    return false;
  }
  const std::size_t matchLength = static_cast<std::size_t>(length);
  if (offset >= 8 && matchLength + 8 <= room) {
    // Whole 8-byte steps may write a few bytes past the match; they stay
    // inside the output and are overwritten by what follows.
    const std::uint8_t* source = out - offset;
    std::uint8_t* const matchEnd = out + matchLength;
    do {
      std::memcpy(out, source, 8);
      out += 8;
      source += 8;
    } while (out < matchEnd);
    out = matchEnd;
  } else {
    CopyMatchCarefully(out, offset, matchLength);
    out += matchLength;
  }
  return true;
}

}  // namespace

bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                     HuffmanDecoder& decoder) {
  const std::uint8_t* next = input.data();
  const std::uint8_t* const inputEnd = input.data() + input.size();
  std::uint8_t* const outBegin = output.data();
  std::uint8_t* const outEnd = output.data() + output.size();
  std::uint8_t* out = outBegin;

  while (out < outEnd) {
    if (inputEnd - next < kLengthTableBytes) {
      return false;
    }
    if (!decoder.Build(std::span<const std::uint8_t, kLengthTableBytes>(next, kLengthTableBytes))) {
      return false;
    }
    BitReader reader(next + kLengthTableBytes, inputEnd);

    // The block ends at the first symbol boundary at or past 64 KiB of its
    // output; its last match may run beyond that point.
    std::uint8_t* const blockEnd = outEnd - out > kBlockOutputSize ? out + kBlockOutputSize : outEnd;
    while (out < blockEnd && reader.BytesLeft() >= BitReader::kFastReadMargin) {
      if (!DecodeSymbol<false>(reader, decoder, outBegin, out, outEnd)) {
        return false;
      }
    }
    while (out < blockEnd) {
      if (!DecodeSymbol<true>(reader, decoder, outBegin, out, outEnd)) {
        return false;
      }
    }
    // Leftover bits are dropped; the next table follows the last word or
    // length byte read.
    next = reader.Position();
  }
  return true;
}

}  // namespace qvn::compression
