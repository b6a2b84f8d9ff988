#include "compression/lz_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compression/bit_reader.h"

namespace qvn::compression {
namespace {

// Output a block produces before the stream switches to the next table.
constexpr std::ptrdiff_t kBlockOutputSize = 65536;
// The fast loop copies this many bytes for every symbol, whatever it is.
constexpr std::size_t kFastCopySize = 24;

// Byte b at index b: the source a literal is "copied" from in the fast loop,
// followed by enough bytes for a whole kFastCopySize copy.
constexpr std::array<std::uint8_t, 256 + kFastCopySize> MakeLiteralSource() {
  std::array<std::uint8_t, 256 + kFastCopySize> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}
constexpr std::array<std::uint8_t, 256 + kFastCopySize> kLiteralSource = MakeLiteralSource();

struct OutputCursor {
  std::uint8_t* const begin;
  std::uint8_t* next;
  std::uint8_t* const end;
};

// Copies a match whose source overlaps its destination, or that ends too
// close to the end of the output for whole 8-byte steps.
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

// Checks any decoded match against the output and copies it.
bool CopyMatch(OutputCursor& out, std::size_t offset, std::uint64_t length) {
  const auto written = static_cast<std::size_t>(out.next - out.begin);
  const auto room = static_cast<std::size_t>(out.end - out.next);
  if (offset > written || length > room) {
    return false;
  }
  const auto matchLength = static_cast<std::size_t>(length);
  if (offset >= 8 && matchLength + 8 <= room) {
    // Whole 8-byte steps may write past the match; those bytes stay inside
    // the output and are overwritten by what follows.
    const std::uint8_t* source = out.next - offset;
    std::uint8_t* target = out.next;
    std::uint8_t* const matchEnd = out.next + matchLength;
    for (; target < matchEnd; target += 8, source += 8) {
      std::memcpy(target, source, 8);
    }
  } else {
    CopyMatchCarefully(out.next, offset, matchLength);
  }
  out.next += matchLength;
  return true;
}

// The full length of a match whose length nibble is 15: one byte, then if
// that is 255 a 16-bit value, then if that is 0 a 32-bit value. Returns
// false if a read fails.
template <typename ReadByte, typename Read16, typename Read32>
bool ReadLongLength(std::uint64_t& length, ReadByte readByte, Read16 read16, Read32 read32) {
  std::uint8_t byte = 0;
  if (!readByte(byte)) {
    return false;
  }
  if (byte < 255) {
    length = std::uint64_t{byte} + 15 + 3;
    return true;
  }
  std::uint16_t length16 = 0;
  if (!read16(length16)) {
    return false;
  }
  if (length16 != 0) {
    length = std::uint64_t{length16} + 3;
    return true;
  }
  std::uint32_t length32 = 0;
  if (!read32(length32)) {
    return false;
  }
  length = std::uint64_t{length32} + 3;
  return true;
}

// The rest of a match with length bytes, its symbol already consumed.
bool DecodeLongMatchFast(PrefetchingBitReader& reader, std::uint32_t entry, OutputCursor& out) {
  // The length bytes lie at the format's byte position, not the reader's.
  const std::uint8_t* const lengthBytes = reader.Synchronize();
  const std::uint8_t* next = lengthBytes;
  std::uint64_t length = 0;
  ReadLongLength(
      length, [&](std::uint8_t& value) { value = *next++; return true; },
      [&](std::uint16_t& value) { value = LoadLe16(next); next += 2; return true; },
      [&](std::uint32_t& value) { value = LoadLe32(next); next += 4; return true; });
  reader.SkipBytes(next - lengthBytes);
  const unsigned offsetBits = HuffmanDecoder::OffsetBitsOf(entry);
  const std::size_t offset = (std::size_t{1} << offsetBits) | reader.TopBits(offsetBits);
  reader.Consume(offsetBits);
  return CopyMatch(out, offset, length);
}

// Decodes symbols while the block lasts and the reader's input margin and
// kFastCopySize bytes of output room remain. Literals and short matches
// take one path without a data-dependent branch: a literal is a one-byte
// "copy" from kLiteralSource, and every copy moves kFastCopySize bytes
// (later output overwrites the excess). Escaped lengths and overlapping
// matches (offsets below 8) leave that path.
bool DecodeFast(PrefetchingBitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out,
                std::uint8_t* const blockEnd, const std::uint8_t* const inputEnd) {
  // Past either limit the careful loop takes over, to the block's end.
  std::uint8_t* const outputLimit =
      out.end - out.begin > static_cast<std::ptrdiff_t>(kFastCopySize) ? std::min(blockEnd, out.end - kFastCopySize)
                                                                       : out.begin;
  const std::uint8_t* const inputLimit = inputEnd - PrefetchingBitReader::kFastReadMargin;
  // A local copy that the compiler can keep in a register.
  std::uint8_t* next = out.next;
  // Each symbol's table entry is looked up before the refill that follows
  // the symbol before it: at least 18 bits are left then, enough for any
  // code, so the lookups do not wait for the refills' loads.
  std::uint32_t entry = decoder.Lookup(static_cast<std::uint32_t>(reader.Bits() >> 32));
  while (next < outputLimit && reader.Position() <= inputLimit) {
    if (HuffmanDecoder::HasLongLength(entry)) {
      reader.Consume(HuffmanDecoder::CodeLengthOf(entry));
      out.next = next;
      if (!DecodeLongMatchFast(reader, entry, out)) {
        return false;
      }
      next = out.next;
      reader.Refill();
      entry = decoder.Lookup(static_cast<std::uint32_t>(reader.Bits() >> 32));
      continue;
    }
    // The symbol and its offset bits in one step.
    const std::uint64_t bits = reader.Bits();
    reader.Consume(HuffmanDecoder::SymbolBitsOf(entry));
    const std::uint32_t nextEntry = decoder.Lookup(static_cast<std::uint32_t>(reader.Bits() >> 32));
    reader.Refill();

    const unsigned offsetBits = HuffmanDecoder::OffsetBitsOf(entry);
    const std::uint64_t offsetField = bits << HuffmanDecoder::CodeLengthOf(entry);
    // 0 for a literal, whose offset bit count is 0 too.
    const std::size_t offset = (std::size_t{HuffmanDecoder::IsMatch(entry)} << offsetBits) |
                               static_cast<std::size_t>((offsetField >> 1) >> (63 - offsetBits));
    const unsigned length = HuffmanDecoder::OutputLengthOf(entry);
    if (offset > static_cast<std::size_t>(next - out.begin)) {
      out.next = next;
      return false;
    }
    if (offset - 1 < 7) {
      CopyMatchCarefully(next, offset, length);
    } else {
      // Selected with a mask rather than a condition, which compilers tend
      // to turn back into the very branch this loop avoids.
      const std::uintptr_t matchMask = 0 - static_cast<std::uintptr_t>(HuffmanDecoder::IsMatch(entry));
      const auto matchSource = reinterpret_cast<std::uintptr_t>(next - offset);
      const auto literalSource =
          reinterpret_cast<std::uintptr_t>(kLiteralSource.data() + (HuffmanDecoder::SymbolOf(entry) & 0xFF));
      const auto* source =
          reinterpret_cast<const std::uint8_t*>((matchSource & matchMask) | (literalSource & ~matchMask));
      // One 8-byte step at a time: with offsets of 8 or more each step
      // reads only bytes already final.
      std::memcpy(next, source, 8);
      std::memcpy(next + 8, source + 8, 8);
      std::memcpy(next + 16, source + 16, 8);
    }
    next += length;
    entry = nextEntry;
  }
  out.next = next;
  return true;
}

// One symbol with the exact reader, safe to the last input byte.
bool DecodeSymbolChecked(BitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out) {
  const std::uint32_t entry = decoder.Lookup(reader.Bits());
  if (!reader.Consume(HuffmanDecoder::CodeLengthOf(entry))) {
    return false;
  }
  if (!HuffmanDecoder::IsMatch(entry)) {
    if (out.next == out.end) {
      return false;
    }
    *out.next++ = static_cast<std::uint8_t>(HuffmanDecoder::SymbolOf(entry));
    return true;
  }
  std::uint64_t length = HuffmanDecoder::OutputLengthOf(entry);
  if (HuffmanDecoder::HasLongLength(entry) &&
      !ReadLongLength(length, [&](std::uint8_t& v) { return reader.ReadByte(v); },
                      [&](std::uint16_t& v) { return reader.Read16(v); },
                      [&](std::uint32_t& v) { return reader.Read32(v); })) {
    return false;
  }
  const unsigned offsetBits = HuffmanDecoder::OffsetBitsOf(entry);
  const std::size_t offset = (std::size_t{1} << offsetBits) | reader.TopBits(offsetBits);
  if (!reader.Consume(offsetBits)) {
    return false;
  }
  return CopyMatch(out, offset, length);
}

}  // namespace

bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                     HuffmanDecoder& decoder) {
  const std::uint8_t* next = input.data();
  const std::uint8_t* const inputEnd = input.data() + input.size();
  OutputCursor out{output.data(), output.data(), output.data() + output.size()};

  while (out.next < out.end) {
    if (inputEnd - next < kLengthTableBytes) {
      return false;
    }
    if (!decoder.Build(std::span<const std::uint8_t, kLengthTableBytes>(next, kLengthTableBytes))) {
      return false;
    }
    next += kLengthTableBytes;

    // The block ends at the first symbol boundary at or past 64 KiB of its
    // output; its last match may run beyond that point.
    std::uint8_t* const blockEnd =
        out.end - out.next > kBlockOutputSize ? out.next + kBlockOutputSize : out.end;
    BitReader reader(next, inputEnd);
    if (inputEnd - next >= PrefetchingBitReader::kFastReadMargin) {
      PrefetchingBitReader fast(next);
      if (!DecodeFast(fast, decoder, out, blockEnd, inputEnd)) {
        return false;
      }
      reader = fast.ToExact(inputEnd);
    }
    while (out.next < blockEnd) {
      if (!DecodeSymbolChecked(reader, decoder, out)) {
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
