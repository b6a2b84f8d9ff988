#include "compression/lz_encoder.h"

#include <algorithm>

#include "compression/bit_writer.h"
#include "compression/xpress_huffman_format.h"

namespace qvn::compression {
namespace {

// Segments of 128 blocks: small enough to share a chunk among threads,
// large enough that each fresh start costs little.
constexpr std::uint32_t kSegmentSize = 128 * kBlockSize;
// Positions inside a long match are mostly runs of one pattern; only the
// last ones are worth recording for later searches.
constexpr std::uint32_t kMaxInsertedPerMatch = 1024;

struct LevelSettings {
  unsigned maxChainDepth;
  std::uint32_t niceLength;
  bool cheapestPath;
};

// The fast level keeps the work per byte even: a search walks a few
// candidates plus one more per byte of the match before it, up to the
// level's depth. Text, whose matches are long and whose common words make
// long chains, is searched deeply; machine code and runs of literals, with
// short matches or none, shallowly (there the finder's matches of 3 make up
// for it). The look-ahead for a longer match at the next byte searches the
// nearest few, the likeliest to be longer.
constexpr unsigned kBaseChainDepth = 4;
constexpr unsigned kLookaheadDepth = 2;
// Data that has found no match for a while (compressed images, say) is
// likely to find none for a while more: after every 64 such positions in a
// row, one more byte at each step goes out as a literal unsearched, up to
// a few, so that a match that comes back is soon found again.
constexpr unsigned kMissesPerSkippedByteShift = 6;
constexpr std::uint32_t kMaxSkippedBytes = 16;

LevelSettings SettingsFor(Level level) {
  switch (level) {
    case Level::kStrong:
      return {32, 128, true};
    case Level::kFast:
    default:
      // A long nice length costs little (long matches are few) and buys
      // the ratio that the short look-ahead gives away.
      return {20, 128, false};
  }
}

}  // namespace

LzEncoder::LzEncoder(Level level)
    : niceLength_(SettingsFor(level).niceLength),
      maxChainDepth_(SettingsFor(level).maxChainDepth),
      finder_(SettingsFor(level).maxChainDepth, SettingsFor(level).niceLength),
      tokens_(std::make_unique<Token[]>(kBlockSize)) {
  if (SettingsFor(level).cheapestPath) {
    cheapestParser_ = std::make_unique<NearOptimalParser>(finder_, niceLength_);
  }
}

void LzEncoder::StartBlock() {
  tokenCount_ = 0;
  frequencies_.fill(0);
  offsetBitCount_ = 0;
  lengthByteCount_ = 0;
}

void LzEncoder::AddLiteral(std::uint8_t byte) {
  tokens_[tokenCount_++] = {0, byte, 0};
  ++frequencies_[byte];
}

void LzEncoder::AddMatch(const Match& match) {
  const unsigned offsetBits = OffsetBitsOf(match.offset);
  const unsigned symbol = MatchSymbol(offsetBits, LengthNibbleOf(match.length));
  tokens_[tokenCount_++] = {match.length, static_cast<std::uint16_t>(symbol),
                            static_cast<std::uint16_t>(match.offset - (1u << offsetBits))};
  ++frequencies_[symbol];
  offsetBitCount_ += offsetBits;
  lengthByteCount_ += LengthByteCount(match.length);
}

std::size_t LzEncoder::BlockSizeBound(const CodeLengths& lengths) const {
  std::uint64_t bits = offsetBitCount_;
  for (unsigned symbol = 0; symbol < kSymbolCount; ++symbol) {
    bits += std::uint64_t{frequencies_[symbol]} * lengths[symbol];
  }
  // BitWriter reserves at most two words beyond the bits written.
  return kLengthTableBytes + 2 * (2 + (bits + 15) / 16) + lengthByteCount_;
}

std::uint8_t* LzEncoder::WriteBlock(const CodeLengths& lengths, bool lastBlock, std::uint8_t* out) const {
  for (unsigned i = 0; i < kLengthTableBytes; ++i) {
    out[i] = static_cast<std::uint8_t>(lengths[2 * i] | (lengths[2 * i + 1] << 4));
  }
  const std::array<std::uint16_t, kSymbolCount> codes = AssignCanonicalCodes(lengths);
  // Per symbol, its code and then its offset bits (none for a literal) as
  // one field: the code in the top bits, the count in the low five.
  std::array<std::uint64_t, kSymbolCount> fields{};
  for (unsigned symbol = 0; symbol < kSymbolCount; ++symbol) {
    const unsigned offsetBits = symbol < kLiteralCount ? 0 : OffsetBitsOfSymbol(symbol);
    fields[symbol] = (std::uint64_t{codes[symbol]} << (offsetBits + 5)) | (lengths[symbol] + offsetBits);
  }
  BitWriter writer(out + kLengthTableBytes);
  for (const Token& token : std::span(tokens_.get(), tokenCount_)) {
    const std::uint64_t field = fields[token.symbol];
    if (token.length <= kLongestNibbleLength) {
      // Symbol and offset bits have nothing between them: one write.
      writer.WriteBits(static_cast<std::uint32_t>(field >> 5) | token.offsetExtra, field & 31);
      continue;
    }
    const unsigned offsetBits = OffsetBitsOfSymbol(token.symbol);
    writer.WriteBits(codes[token.symbol], lengths[token.symbol]);
    const std::uint32_t lengthAboveMinimum = token.length - kMinMatchLength;
    if (lengthAboveMinimum - kLongLengthNibble < kLengthByteEscape) {
      writer.WriteByte(static_cast<std::uint8_t>(lengthAboveMinimum - kLongLengthNibble));
    } else {
      writer.WriteByte(kLengthByteEscape);
      if (lengthAboveMinimum <= 0xFFFF) {
        writer.Write16(static_cast<std::uint16_t>(lengthAboveMinimum));
      } else {
        writer.Write16(0);
        writer.Write32(lengthAboveMinimum);
      }
    }
    writer.WriteBits(token.offsetExtra, offsetBits);
  }
  if (lastBlock) {
    writer.WriteBits(codes[kEndOfStreamSymbol], lengths[kEndOfStreamSymbol]);
  }
  return writer.Finish();
}

std::uint32_t LzEncoder::ParseBlockLazily(std::span<const std::uint8_t> chunk, std::uint32_t position,
                                          std::uint32_t end) {
  auto insertInside = [&](std::uint32_t from, std::uint32_t to) {
    finder_.InsertRange(std::max(from, to - std::min(to - from, kMaxInsertedPerMatch)), to);
  };
  // Matches stop at the block's end, so that every block but a chunk's last
  // covers exactly 64 KiB and segments start on block boundaries.
  const std::uint32_t blockEnd = std::min(position + kBlockSize, end);
  finder_.EndMatchesAt(blockEnd);
  std::uint32_t misses = 0;
  unsigned depth = kBaseChainDepth;
  while (position < blockEnd) {
    const Match current = haveDeferred_ ? deferred_ : finder_.FindAndInsert(position, depth);
    haveDeferred_ = false;
    depth = kBaseChainDepth;
    if (current.length == 0) {
      AddLiteral(chunk[position]);
      ++position;
      ++misses;
      for (std::uint32_t skipped = std::min(misses >> kMissesPerSkippedByteShift, kMaxSkippedBytes);
           skipped > 0 && position < blockEnd; --skipped) {
        AddLiteral(chunk[position]);
        ++position;
      }
      continue;
    }
    misses = 0;
    std::uint32_t inserted = position + 1;
    if (current.length < niceLength_) {
      const Match next = finder_.FindAndInsert(position + 1, kLookaheadDepth);
      if (next.length > current.length) {
        AddLiteral(chunk[position]);
        ++position;
        deferred_ = next;
        haveDeferred_ = true;
        continue;
      }
      ++inserted;
    }
    depth = std::min(maxChainDepth_, kBaseChainDepth + current.length);
    AddMatch(current);
    insertInside(inserted, position + current.length);
    position += current.length;
  }
  return position;
}

std::uint32_t LzEncoder::ParseBlockCheapest(std::span<const std::uint8_t> chunk, std::uint32_t position,
                                            const CodeLengths* previous) {
  const std::uint32_t end = cheapestParser_->ParseBlock(chunk, position, kBlockSize, previous, items_);
  for (const NearOptimalParser::Item& item : items_) {
    if (item.length == 0) {
      AddLiteral(chunk[position]);
      ++position;
    } else {
      AddMatch({item.length, item.offset});
      position += item.length;
    }
  }
  return end;
}

std::uint32_t LzEncoder::SegmentSize(Level) { return kSegmentSize; }

std::span<const std::uint8_t> LzEncoder::EncodeSegment(std::span<const std::uint8_t> chunk, std::uint32_t from,
                                                       std::uint32_t to, const BlockDone& blockDone) {
  const auto size = static_cast<std::uint32_t>(chunk.size());
  // A segment starts afresh from the window before it, whatever came
  // earlier, so its blocks are the same however segments are shared out.
  finder_.Reset(chunk);
  finder_.InsertRange(from - std::min(from, kSegmentHistory), from);
  haveDeferred_ = false;
  // Room for a short last segment's table too.
  const std::size_t room = std::size_t{to - from} + (to - from) / 16 + 4 * kLengthTableBytes;
  if (streamCapacity_ < room) {
    stream_ = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    streamCapacity_ = room;
  }
  // Each block is bounded before it is written, so nothing passes `room`.
  std::uint8_t* const start = stream_.get();
  std::uint8_t* end = start;

  std::uint32_t position = from;
  CodeLengths lengths{};
  while (position < to) {
    StartBlock();
    const std::uint32_t blockStart = position;
    // The strong parser's first model is the code before, within the
    // segment only.
    position = cheapestParser_ ? ParseBlockCheapest(chunk, position, position == from ? nullptr : &lengths)
                               : ParseBlockLazily(chunk, position, to);
    const bool lastBlock = position == size;
    if (lastBlock) {
      ++frequencies_[kEndOfStreamSymbol];
    }
    lengths = BuildCodeLengths(frequencies_);
    if (static_cast<std::size_t>(end - start) + BlockSizeBound(lengths) > room) {
      return {};
    }
    end = WriteBlock(lengths, lastBlock, end);
    if (blockDone) {
      blockDone(position - blockStart);
    }
  }
  return {start, end};
}

}  // namespace qvn::compression
