#include "compression/lz_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compression/bit_reader.h"
#include "compression/xpress_huffman_format.h"

namespace qvn::compression {
namespace {

// The fast loop copies this many bytes for every literal and short match,
// whatever its length: later output overwrites the excess.
constexpr std::ptrdiff_t kFastCopySize = HuffmanDecoder::kFastCopyBytes;
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
  const std::uint8_t* source = out.next - offset;
  std::uint8_t* target = out.next;
  std::uint8_t* const matchEnd = out.next + matchLength;
  // Whole steps may write past the match; those bytes stay inside the
  // output and are overwritten by what follows. A step no longer than the
  // offset reads only bytes already final.
  if (offset >= 16 && matchLength + 16 <= room) {
    for (; target < matchEnd; target += 16, source += 16) {
      std::memcpy(target, source, 16);
    }
  } else if (offset >= 8 && matchLength + 8 <= room) {
    for (; target < matchEnd; target += 8, source += 8) {
      std::memcpy(target, source, 8);
    }
  } else {
    CopyMatchCarefully(out.next, offset, matchLength);
  }
  out.next += matchLength;
  return true;
}

// The full length of a match whose length nibble is kLongLengthNibble,
// from its length bytes. Returns false if a read fails.
template <typename ReadByte, typename Read16, typename Read32>
bool ReadLongLength(std::uint64_t& length, ReadByte readByte, Read16 read16, Read32 read32) {
  std::uint8_t byte = 0;
  if (!readByte(byte)) {
    return false;
  }
  if (byte < kLengthByteEscape) {
    length = std::uint64_t{byte} + kLongLengthNibble + kMinMatchLength;
    return true;
  }
  std::uint16_t length16 = 0;
  if (!read16(length16)) {
    return false;
  }
  if (length16 != 0) {
    length = std::uint64_t{length16} + kMinMatchLength;
    return true;
  }
  std::uint32_t length32 = 0;
  if (!read32(length32)) {
    return false;
  }
  length = std::uint64_t{length32} + kMinMatchLength;
  return true;
}

// The full length of a match with length bytes, its symbol already
// consumed: the bytes lie at the format's byte position, not the reader's.
// Kept out of the fast loop: inlined there, it saved instructions but cost
// about 4 % of the decoding time in paired runs.
[[gnu::noinline]] std::uint64_t ReadLongLengthFast(PrefetchingBitReader& reader) {
  const std::uint8_t* const bytes = reader.Synchronize();
  if (bytes[0] < kLengthByteEscape) {
    reader.SkipBytes(1);
    return std::uint64_t{bytes[0]} + kLongLengthNibble + kMinMatchLength;
  }
  const std::uint16_t length16 = LoadLe16(bytes + 1);
  if (length16 != 0) {
    reader.SkipBytes(3);
    return std::uint64_t{length16} + kMinMatchLength;
  }
  reader.SkipBytes(7);
  return std::uint64_t{LoadLe32(bytes + 3)} + kMinMatchLength;
}

// Every byte value at its own index, and more: a literal is copied like a
// match, kFastCopySize bytes from its slot, so that the fast loop does not
// branch on whether a symbol is a literal.
constexpr std::array<std::uint8_t, kLiteralCount + kFastCopySize> kLiteralSlots = [] {
  std::array<std::uint8_t, kLiteralCount + kFastCopySize> slots{};
  for (std::size_t i = 0; i < slots.size(); ++i) {
    slots[i] = static_cast<std::uint8_t>(i);
  }
  return slots;
}();

// The base a symbol's source is counted back from: the output position
// for a match, the literal slots for a literal.
const std::uint8_t* SourceBaseOf(bool isMatch, const std::uint8_t* next) {
  return isMatch ? next : kLiteralSlots.data();
}

// For each offset below 8: the mask of its first `offset` bytes, the
// multiplier that repeats them through 8 bytes, and the largest multiple
// of the offset up to 8.
struct ShortPeriod {
  std::uint64_t mask;
  std::uint64_t spread;
  std::size_t stride;
};
constexpr std::array<ShortPeriod, 8> kShortPeriods = [] {
  std::array<ShortPeriod, 8> periods{};
  for (std::size_t offset = 1; offset < 8; ++offset) {
    periods[offset].mask = (std::uint64_t{1} << (8 * offset)) - 1;
    for (std::size_t shift = 0; shift < 64; shift += 8 * offset) {
      periods[offset].spread |= std::uint64_t{1} << shift;
    }
    periods[offset].stride = 8 - 8 % offset;
  }
  return periods;
}();

// A match whose offset is below 8 repeats its first `offset` bytes: an
// 8-byte pattern of them, written at steps that are a multiple of the
// offset, continues the period. Three writes cover 18 bytes, longer than
// any match without length bytes; the last write may end up to 7 bytes
// past the match (at least 22 bytes past `next`).
[[gnu::always_inline]] inline std::uint8_t* CopyShortPeriod(std::uint8_t* next, std::size_t offset,
                                                            std::uint64_t length) {
  const ShortPeriod& period = kShortPeriods[offset];
  const std::uint64_t pattern = (LoadLe64(next - offset) & period.mask) * period.spread;
  std::uint8_t* const matchEnd = next + length;
  StoreLe64(next, pattern);
  StoreLe64(next + period.stride, pattern);
  StoreLe64(next + 2 * period.stride, pattern);
  for (std::uint8_t* target = next + 3 * period.stride; target < matchEnd; target += period.stride) {
    StoreLe64(target, pattern);
  }
  return matchEnd;
}

// One symbol the fast loop leaves aside, after a fresh refill: a code
// longer than the primary table, a match with length bytes, or one too
// long or too close for the fast loop's single step. Kept in the loop's
// registers; only an overlapping match or one near the output's end (or
// before its start) leaves for CopyMatch. Returns the new output position,
// or nullptr if the match does not fit the output.
template <bool kCheckOffset>
[[gnu::always_inline]] inline std::uint8_t* DecodeSlowSymbol(PrefetchingBitReader& reader,
                                                             const HuffmanDecoder& decoder, std::uint64_t entry,
                                                             const OutputCursor& out, std::uint8_t* next) {
  if (HuffmanDecoder::IsSubtableLink(entry)) {
    entry = decoder.ResolveLink(entry, reader.Bits());
  }
  reader.Consume(HuffmanDecoder::CodeLengthOf(entry));
  if (!HuffmanDecoder::IsMatch(entry)) {
    // The fast loop's margin leaves room for this byte.
    *next = static_cast<std::uint8_t>(HuffmanDecoder::LiteralOf(entry));
    return next + 1;
  }
  const std::uint64_t length =
      HuffmanDecoder::HasLongLength(entry) ? ReadLongLengthFast(reader) : HuffmanDecoder::OutputLengthOf(entry);
  const unsigned offsetBits = HuffmanDecoder::OffsetBitsOf(entry);
  const std::size_t offset = (std::size_t{1} << offsetBits) | reader.TopBits(offsetBits);
  reader.Consume(offsetBits);
  // Whole 16-byte steps from a source at least 16 bytes back read only
  // final bytes; the last step may write up to 31 bytes past the match,
  // which later output overwrites. The first two steps go without a
  // branch: most of these matches are at most 32 bytes long.
  if (length + 2 * kFastCopySize <= static_cast<std::size_t>(out.end - next) &&
      (!kCheckOffset || offset <= static_cast<std::size_t>(next - out.begin))) {
    if (offset >= 16) {
      const std::uint8_t* source = next - offset;
      std::uint8_t* const matchEnd = next + length;
      std::memcpy(next, source, 16);
      std::memcpy(next + 16, source + 16, 16);
      for (std::uint8_t* target = next + 32; target < matchEnd; target += 16) {
        std::memcpy(target, target - offset, 16);
      }
      return matchEnd;
    }
    if (offset < 8) {
      return CopyShortPeriod(next, offset, length);
    }
  }
  OutputCursor rest{out.begin, next, out.end};
  return CopyMatch(rest, offset, length) ? rest.next : nullptr;
}

// One symbol of the fast loop, its entry already looked up: the symbol
// and its offset bits are consumed in one step and read as one number less
// the entry's bias, which gives a match's offset, or minus a literal's
// distance into its slots (that passes the offset check). Looks up the
// next entry. Returns the new output position, or nullptr if the match
// reaches before the output. Past the first kMaxOffset bytes of the output
// no offset can reach before it, and the check is left out.
template <bool kCheckOffset>
[[gnu::always_inline]] inline std::uint8_t* DecodeFastSymbol(PrefetchingBitReader& reader,
                                                             const HuffmanDecoder& decoder, std::uint64_t& entry,
                                                             std::uint8_t* const begin, std::uint8_t* const next) {
  const std::uint64_t bits = reader.Bits();
  const unsigned symbolBits = HuffmanDecoder::SymbolBitsOf(entry);
  reader.Consume(symbolBits);
  const std::int64_t distance =
      static_cast<std::int64_t>(bits >> ((0u - symbolBits) & 63)) - HuffmanDecoder::BiasOf(entry);
  const std::uint8_t* const source = SourceBaseOf(HuffmanDecoder::IsMatch(entry), next) - distance;
  const unsigned length = HuffmanDecoder::OutputLengthOf(entry);
  entry = decoder.PrimaryEntry(reader.Bits());
  if (kCheckOffset && distance > next - begin) {
    return nullptr;
  }
  // One step, whole for the symbols the table lets through (see
  // HuffmanDecoder::kFastCopyBytes); the bytes past the symbol's length
  // are overwritten later. Source and target may overlap: memmove, which
  // for 16 bytes compiles to one load and one store.
  std::memmove(next, source, kFastCopySize);
  return next + length;
}

// Decodes symbols while the block lasts and the fast loop's margins hold,
// leaving the last few symbols of the block and of the input to the
// careful loop. Each turn refills once and decodes two symbols: a refill
// leaves at least 48 bits, and a symbol the fast path takes needs at most
// HuffmanDecoder::kMaxFastSymbolBits (24) with its offset bits. The next
// symbol's table entry is looked up before the refill, so that lookups do
// not wait for its load.
template <bool kCheckOffset>
[[gnu::always_inline]] inline bool DecodeFastLoop(PrefetchingBitReader& readerState, const HuffmanDecoder& decoder,
                                                  OutputCursor& out, std::uint8_t* const blockEnd,
                                                  const std::uint8_t* const inputEnd) {
  // Local copies, so that the compiler keeps them in registers.
  PrefetchingBitReader reader = readerState;
  std::uint8_t* const begin = out.begin;
  std::uint8_t* next = out.next;
  // Before this point a symbol may write a copy of kFastCopySize bytes.
  std::uint8_t* const outputLimit = out.end - next > kFastCopySize ? std::min(blockEnd, out.end - kFastCopySize) : next;
  const std::uint8_t* const inputLimit = inputEnd - PrefetchingBitReader::kFastReadMargin;
  // Before this point a turn may start: its first symbol ends before
  // outputLimit, so the second still belongs to the block and has room.
  std::uint8_t* const pairLimit = outputLimit - next > kFastCopySize ? outputLimit - kFastCopySize : next;

  // A symbol the fast path leaves aside, after a fresh refill; then the
  // turns start over.
  const auto slowSymbol = [&](std::uint64_t& entry) {
    next = DecodeSlowSymbol<kCheckOffset>(reader, decoder, entry, out, next);
    if (next == nullptr) {
      return false;
    }
    reader.Refill();
    entry = decoder.PrimaryEntry(reader.Bits());
    return true;
  };

  std::uint64_t entry = decoder.PrimaryEntry(reader.Bits());
  while (reader.Position() <= inputLimit) {
    // A turn writes at least one byte and its refills move the position at
    // most kTurnStep bytes, so up to `stop` neither limit needs a check.
    const auto turnsLeft = (inputLimit - reader.Position()) / PrefetchingBitReader::kTurnStep + 1;
    std::uint8_t* const stop = pairLimit - next > turnsLeft ? next + turnsLeft : pairLimit;
    if (next >= stop) {
      break;
    }
    while (next < stop) {
      reader.Refill();
      if (HuffmanDecoder::NeedsSlowPath(entry)) {
        if (!slowSymbol(entry)) {
          return false;
        }
        break;
      }
      next = DecodeFastSymbol<kCheckOffset>(reader, decoder, entry, begin, next);
      if (next == nullptr) {
        return false;
      }
      // The second symbol from the same refill: the first one, at most
      // kFastCopySize bytes, ended before the block's end and left room.
      if (HuffmanDecoder::NeedsSlowPath(entry)) {
        reader.Refill();
        if (!slowSymbol(entry)) {
          return false;
        }
        break;
      }
      next = DecodeFastSymbol<kCheckOffset>(reader, decoder, entry, begin, next);
      if (next == nullptr) {
        return false;
      }
    }
  }
  // A turn may leave fewer bits loaded than the format has; the careful
  // reader takes over from the format's state.
  reader.Refill();
  out.next = next;
  readerState = reader;
  return true;
}

bool DecodeFastPortable(PrefetchingBitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out,
                        std::uint8_t* const blockEnd, const std::uint8_t* const inputEnd) {
  return out.next - out.begin >= kMaxOffset ? DecodeFastLoop<false>(reader, decoder, out, blockEnd, inputEnd)
                                            : DecodeFastLoop<true>(reader, decoder, out, blockEnd, inputEnd);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loop where the processor has BMI2 (most x86-64 processors
// since 2013): its shifts by a register count take one instruction and
// leave the flags alone, and the loop shifts three times per symbol.
[[gnu::target("bmi2")]] bool DecodeFastBmi2(PrefetchingBitReader& reader, const HuffmanDecoder& decoder,
                                            OutputCursor& out, std::uint8_t* const blockEnd,
                                            const std::uint8_t* const inputEnd) {
  return out.next - out.begin >= kMaxOffset ? DecodeFastLoop<false>(reader, decoder, out, blockEnd, inputEnd)
                                            : DecodeFastLoop<true>(reader, decoder, out, blockEnd, inputEnd);
}

bool DecodeFast(PrefetchingBitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out,
                std::uint8_t* const blockEnd, const std::uint8_t* const inputEnd) {
  return __builtin_cpu_supports("bmi2") ? DecodeFastBmi2(reader, decoder, out, blockEnd, inputEnd)
                                        : DecodeFastPortable(reader, decoder, out, blockEnd, inputEnd);
}
#else
bool DecodeFast(PrefetchingBitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out,
                std::uint8_t* const blockEnd, const std::uint8_t* const inputEnd) {
  return DecodeFastPortable(reader, decoder, out, blockEnd, inputEnd);
}
#endif

// One symbol with the exact reader, safe to the last input byte.
bool DecodeSymbolChecked(BitReader& reader, const HuffmanDecoder& decoder, OutputCursor& out) {
  const std::uint64_t entry = decoder.Lookup(reader.Bits());
  if (!reader.Consume(HuffmanDecoder::CodeLengthOf(entry))) {
    return false;
  }
  if (!HuffmanDecoder::IsMatch(entry)) {
    if (out.next == out.end) {
      return false;
    }
    *out.next++ = static_cast<std::uint8_t>(HuffmanDecoder::LiteralOf(entry));
    return true;
  }
  std::uint64_t length = HuffmanDecoder::OutputLengthOf(entry);
  if (HuffmanDecoder::HasLongLength(entry) &&
      !ReadLongLength(
          length, [&](std::uint8_t& v) { return reader.ReadByte(v); },
          [&](std::uint16_t& v) { return reader.Read16(v); }, [&](std::uint32_t& v) { return reader.Read32(v); })) {
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

bool DecodeLzHuffmanArriving(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, LzBlockBoundary& at,
                             bool complete, HuffmanDecoder& decoder, const DecodedUpTo& decodedUpTo) {
  const std::uint8_t* const inputEnd = input.data() + input.size();
  OutputCursor out{output.data(), output.data() + std::min(at.decoded, output.size()), output.data() + output.size()};

  while (out.next < out.end) {
    const std::uint8_t* next = input.data() + at.consumed;
    if (inputEnd - next < kLengthTableBytes) {
      return !complete;
    }
    if (!decoder.Build(std::span<const std::uint8_t, kLengthTableBytes>(next, kLengthTableBytes))) {
      return !complete;
    }
    next += kLengthTableBytes;

    // The block ends at the first symbol boundary at or past 64 KiB of its
    // output; its last match may run beyond that point.
    std::uint8_t* const blockEnd = out.end - out.next > kBlockSize ? out.next + kBlockSize : out.end;
    BitReader reader(next, inputEnd);
    if (inputEnd - next >= PrefetchingBitReader::kFastReadMargin) {
      PrefetchingBitReader fast(next);
      if (!DecodeFast(fast, decoder, out, blockEnd, inputEnd)) {
        return !complete;
      }
      reader = fast.ToExact(inputEnd);
    }
    while (out.next < blockEnd) {
      if (!DecodeSymbolChecked(reader, decoder, out)) {
        return !complete;
      }
    }
    // A block that read up to the end of input still arriving may have
    // taken zeros for words not there yet: it is decoded again once they are.
    if (!complete && reader.Position() == inputEnd) {
      return true;
    }
    // Leftover bits are dropped; the next table follows the last word or
    // length byte read.
    at = {static_cast<std::size_t>(reader.Position() - input.data()), static_cast<std::size_t>(out.next - out.begin)};
    if (decodedUpTo) decodedUpTo(at.decoded);
  }
  return true;
}

bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& decoder) {
  return DecodeLzHuffman(input, output, 0, decoder);
}

bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& decoder,
                     const DecodedUpTo& decodedUpTo) {
  LzBlockBoundary at;
  return DecodeLzHuffmanArriving(input, output, at, true, decoder, decodedUpTo);
}

bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, std::size_t start,
                     HuffmanDecoder& decoder) {
  LzBlockBoundary at{0, start};
  return DecodeLzHuffmanArriving(input, output, at, true, decoder, {});
}

}  // namespace qvn::compression
