// Whatever the encoder writes, at every level, decodes to its input, and
// the stream keeps the framing rules of the buffer format.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "compression/buffer_format.h"
#include "compression/chunk_encoder.h"
#include "compression/huffman_decoder.h"
#include "compression/lz_decoder.h"
#include "compression/xpress_huffman_format.h"
#include "tests/compression/test_data.h"

namespace qvn::compression {
namespace {

constexpr Level kLevels[] = {Level::kFast, Level::kStrong};
constexpr std::size_t kChunk = 0x4000000;

std::uint32_t Le32(const Bytes& bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16) |
         (std::uint32_t{bytes[at + 3]} << 24);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// More than one chunk, cheap to encode: fresh data every MiB, then long
// repeats of it.
Bytes MoreThanOneChunk() {
  Bytes bytes;
  for (std::uint32_t region = 0; bytes.size() < kChunk + 70000; ++region) {
    const Bytes fresh = Mixed(8192, region);
    for (std::size_t i = 0; i < (1u << 20); i += fresh.size()) {
      bytes.insert(bytes.end(), fresh.begin(), fresh.end());
    }
  }
  bytes.resize(kChunk + 70000);
  return bytes;
}

// Text with single bytes of other values strewn through it: those literals,
// and matches of rare offsets and lengths, get codes longer than the
// decoder's primary table resolves in one step.
Bytes TextWithRareBytes() {
  Bytes bytes = Text(65536, 17);
  for (std::size_t i = 0; i < 160; ++i) bytes[400 * i + 123] = static_cast<std::uint8_t>(0x80 + i);
  return bytes;
}

// Runs of every period below 16 and of lengths 3 to 40 after random bytes:
// each run past its first period is a match at that short offset, mostly
// well inside a block, where the decoder's fast loop takes it or leaves
// it to the slow path (a match longer than its offset).
Bytes ShortPeriodRuns() {
  const Bytes noise = Noise(120000, 18);
  Bytes bytes;
  for (std::size_t at = 0; at + 24 <= noise.size(); at += 16) {
    const std::size_t period = 1 + at / 16 % 15;
    const std::size_t length = 3 + at / 112 % 38;
    bytes.insert(bytes.end(), noise.data() + at, noise.data() + at + 8);
    for (std::size_t i = 0; i < length; ++i) bytes.push_back(noise[at + 8 + i % period]);
  }
  return bytes;
}

struct RoundTripCase {
  std::string name;
  Bytes input;
};

std::vector<RoundTripCase> RoundTripCases() {
  return {
      {"1 byte", Text(1, 1)},
      {"2 bytes", Binary(2, 2)},
      {"300 bytes of text", Text(300, 3)},
      {"301 bytes of text", Text(301, 4)},
      {"65,535 bytes, mixed", Mixed(65535, 5)},
      {"65,536 bytes, mixed", Mixed(65536, 6)},
      {"65,537 bytes, mixed", Mixed(65537, 7)},
      {"many blocks of text", Text(300000, 8)},
      {"many blocks of binary", Binary(400000, 9)},
      {"many blocks, mixed", Mixed(600000, 10)},
      {"noise (stored)", Noise(200000, 11)},
      {"noise then text", Concat(Noise(100000, 12), Text(100000, 13))},
      // 70,000 equal bytes need the 16-bit length, 1 MiB the 32-bit one.
      {"run needing the 16-bit length", Bytes(70000, 0)},
      {"run needing the 32-bit length", Bytes(1 << 20, 'a')},
      {"runs between text", Concat(Concat(Text(5000, 14), Bytes(300000, 0xFF)), Text(5000, 15))},
      {"pattern with a short period", Concat(Text(2, 16), Bytes(100000, 'x'))},
      {"runs of periods 1 to 15", ShortPeriodRuns()},
      {"more than one chunk", MoreThanOneChunk()},
      {"text with rare bytes (long codes)", TextWithRareBytes()},
  };
}

TEST(EncodeBufferTest, EveryLevelRoundTrips) {
  for (const RoundTripCase& c : RoundTripCases()) {
    for (Level level : kLevels) {
      SCOPED_TRACE(c.name + ", level " + std::to_string(static_cast<int>(level)));
      const Bytes stream = EncodeBuffer(c.input, level);
      Bytes output(c.input.size());
      const DecodeResult result = DecodeBuffer(stream, output);
      ASSERT_EQ(result.status, DecodeStatus::kOk);
      EXPECT_EQ(result.produced, c.input.size());
      EXPECT_TRUE(output == c.input);
    }
  }
}

// The case above must reach what it is there for: in its first block, some
// literal and some match have codes longer than kPrimaryBits.
TEST(EncodeBufferTest, RareSymbolsGetCodesBeyondThePrimaryTable) {
  constexpr std::size_t kLengthTable = kBufferHeaderSize + kChunkRecordHeaderSize;
  for (Level level : kLevels) {
    SCOPED_TRACE("level " + std::to_string(static_cast<int>(level)));
    const Bytes stream = EncodeBuffer(TextWithRareBytes(), level);
    ASSERT_LT(Le32(stream, kBufferHeaderSize), 65536u) << "the chunk was stored raw";
    unsigned longestLiteral = 0;
    unsigned longestMatch = 0;
    for (std::size_t symbol = 0; symbol < kSymbolCount; ++symbol) {
      const std::uint8_t packed = stream[kLengthTable + symbol / 2];
      const unsigned length = symbol % 2 == 0 ? packed & 0x0F : packed >> 4;
      unsigned& longest = symbol < kLiteralCount ? longestLiteral : longestMatch;
      longest = std::max(longest, length);
    }
    EXPECT_GT(longestLiteral, static_cast<unsigned>(HuffmanDecoder::kPrimaryBits));
    EXPECT_GT(longestMatch, static_cast<unsigned>(HuffmanDecoder::kPrimaryBits));
  }
}

TEST(EncodeBufferTest, SameInputAndLevelGiveSameBytes) {
  for (const RoundTripCase& c : RoundTripCases()) {
    if (c.input.size() > kChunk) continue;  // two encodes of 64 MiB add nothing here
    for (Level level : kLevels) {
      SCOPED_TRACE(c.name + ", level " + std::to_string(static_cast<int>(level)));
      EXPECT_TRUE(EncodeBuffer(c.input, level) == EncodeBuffer(c.input, level));
    }
  }
}

// A chunk record: the stored size, and whether it is raw (stored size
// equal to the chunk's expanded size).
struct ChunkRecord {
  std::uint32_t storedSize;
  bool raw;
};

std::vector<ChunkRecord> ChunkRecords(const Bytes& stream) {
  const std::uint64_t total = Le32(stream, 8) | (std::uint64_t{Le32(stream, 12)} << 32);
  const std::uint32_t chunkSize = Le32(stream, 16);
  std::vector<ChunkRecord> records;
  std::size_t at = 24;
  for (std::uint64_t done = 0; done < total; done += chunkSize) {
    const std::uint32_t stored = Le32(stream, at);
    records.push_back({stored, stored == std::min<std::uint64_t>(chunkSize, total - done)});
    at += 4 + stored;
  }
  EXPECT_EQ(at, stream.size()) << "records do not end where the stream ends";
  return records;
}

struct FramingCase {
  std::string name;
  Bytes input;
  std::uint32_t chunkSize;
  std::vector<bool> rawChunks;
};

TEST(EncodeBufferTest, ChunksAre64MiBAndStoredRawUnlessTheyShrink) {
  const std::vector<FramingCase> cases = {
      {"tiny input", Text(40, 20), 40, {true}},
      {"compressible", Text(100000, 21), 100000, {false}},
      {"noise", Noise(100000, 22), 100000, {true}},
      {"two compressible chunks", MoreThanOneChunk(), kChunk, {false, false}},
      {"compressible chunk, then noise", Concat(Bytes(kChunk, 7), Noise(5000, 23)), kChunk, {false, true}},
  };
  for (const FramingCase& c : cases) {
    for (Level level : kLevels) {
      SCOPED_TRACE(c.name + ", level " + std::to_string(static_cast<int>(level)));
      const Bytes stream = EncodeBuffer(c.input, level);
      ASSERT_GE(stream.size(), 24u);
      EXPECT_EQ(Le32(stream, 8), c.input.size());
      EXPECT_EQ(Le32(stream, 16), c.chunkSize);
      std::vector<bool> raw;
      for (const ChunkRecord& record : ChunkRecords(stream)) raw.push_back(record.raw);
      EXPECT_EQ(raw, c.rawChunks);
    }
  }
}

// Regions of about 64 KiB: a fresh mixed piece repeated, or noise, in turn;
// cheap to encode at either level, yet every block has literals and matches.
Bytes Regions(std::size_t size) {
  Bytes bytes;
  for (std::uint32_t region = 0; bytes.size() < size; ++region) {
    const Bytes fresh = region % 5 == 4 ? Noise(3000, region) : Mixed(3000, region);
    for (std::size_t i = 0; i < 61000; i += fresh.size()) bytes.insert(bytes.end(), fresh.begin(), fresh.end());
  }
  bytes.resize(size);
  return bytes;
}

// A chunk's record is the same whether its segments are encoded in one go or
// apart, by fresh encoders given only their windows or by one that has
// encoded other data before; every block but the chunk's last covers
// exactly 64 KiB.
TEST(EncodeBufferTest, SegmentsEncodedApartGiveTheSameRecord) {
  constexpr std::size_t kMiB = 1 << 20;
  const std::size_t sizes[] = {1,
                               kBlockSize - 1,
                               kBlockSize,
                               kBlockSize + 1,
                               8 * kMiB - 1,
                               8 * kMiB,
                               8 * kMiB + 1,
                               8 * kMiB + kBlockSize,
                               16 * kMiB + 3};
  for (std::size_t size : sizes) {
    const Bytes input = Regions(size);
    for (Level level : kLevels) {
      SCOPED_TRACE(std::to_string(size) + " bytes, level " + std::to_string(static_cast<int>(level)));
      ChunkEncoder reused(level);
      std::vector<std::size_t> blocks;
      Bytes record;
      reused.AppendRecord(input, record, [&](std::size_t bytes) { blocks.push_back(bytes); });
      ASSERT_FALSE(blocks.empty());
      for (std::size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i], kBlockSize) << "block " << i;
      EXPECT_EQ(blocks.back(), size - kBlockSize * (blocks.size() - 1));

      // Last segment first, so that no segment follows the one before it.
      const std::uint32_t segmentSize = LzEncoder::SegmentSize(level);
      const std::size_t count = (size + segmentSize - 1) / segmentSize;
      std::vector<Bytes> segments(count);
      for (std::size_t i = count; i-- > 0;) {
        const auto from = static_cast<std::uint32_t>(i * segmentSize);
        const auto to = static_cast<std::uint32_t>(std::min<std::size_t>(size, from + std::size_t{segmentSize}));
        const std::span<const std::uint8_t> apart = reused.EncodeSegment(input, from, to);
        segments[i].assign(apart.begin(), apart.end());
        // A fresh encoder, given only a window of the chunk: the segment,
        // what its matches reach before it and what is read ahead.
        const std::uint32_t history = std::min(from, LzEncoder::kSegmentHistory);
        const std::size_t end = std::min<std::size_t>(size, std::size_t{to} + LzEncoder::kSegmentReadAhead);
        const std::span<const std::uint8_t> window = std::span(input).subspan(from - history, end - (from - history));
        ChunkEncoder fresh(level);
        EXPECT_TRUE(std::ranges::equal(fresh.EncodeSegment(window, history, history + (to - from)), segments[i]))
            << "segment " << i;
      }
      // The record: the streams after their total size, or the chunk raw
      // after its own.
      std::vector<std::size_t> streamSizes(segments.size());
      std::ranges::transform(segments, streamSizes.begin(), [](const Bytes& segment) { return segment.size(); });
      const bool kept = ChunkEncoder::KeepsSegments(size, streamSizes);
      Bytes joined(kChunkRecordHeaderSize);
      for (const Bytes& segment : kept ? segments : std::vector<Bytes>{input}) {
        joined.insert(joined.end(), segment.begin(), segment.end());
      }
      StoreLe32(joined.data(), static_cast<std::uint32_t>(joined.size() - kChunkRecordHeaderSize));
      EXPECT_TRUE(joined == record);

      const Bytes stream = EncodeBuffer(input, level);
      EXPECT_TRUE(std::equal(record.begin(), record.end(), stream.begin() + kBufferHeaderSize, stream.end()));
      Bytes output(size);
      ASSERT_EQ(DecodeBuffer(stream, output).status, DecodeStatus::kOk);
      EXPECT_TRUE(output == input);
    }
  }
}

// The fast level searches sparsely through data that finds no match; a
// repeat that follows such a stretch must still come out as matches, costing
// a small fraction of its size on top of what came before it.
TEST(EncodeBufferTest, RepeatsAfterIncompressibleStretchesAreStillFound) {
  const Bytes text = Text(20000, 5);
  for (const std::size_t noiseSize : {std::size_t{0}, std::size_t{4096}, std::size_t{40000}}) {
    const Bytes before = Concat(text, Noise(noiseSize, 9));
    const std::size_t withoutRepeat = EncodeBuffer(before, Level::kFast).size();
    const Bytes withRepeat = Concat(before, text);
    const std::vector<std::uint8_t> stream = EncodeBuffer(withRepeat, Level::kFast);
    EXPECT_LT(stream.size(), withoutRepeat + text.size() / 50) << "noise " << noiseSize;
    Bytes output(withRepeat.size());
    ASSERT_EQ(DecodeBuffer(stream, output).status, DecodeStatus::kOk);
    EXPECT_EQ(output, withRepeat) << "noise " << noiseSize;
  }
}

// A stream decoded while its input still arrives, as the packer checks a
// chunk whose segments come one after the other, gives what the whole
// stream gives wherever the input stops: here just before, at and after
// each block's end, where the format's last word may not be there yet. A
// block is only taken once it read nothing but input that was there, and
// each prefix is a buffer of its own, so that reading past it is caught.
TEST(DecodeArrivingTest, GivesWhatTheWholeStreamGivesWhereverTheInputStops) {
  const Bytes input = Binary((std::size_t{1} << 20) + 5, 11);
  ChunkEncoder encoder(Level::kFast);
  Bytes record;
  encoder.AppendRecord(input, record);
  const Bytes stream(record.begin() + kChunkRecordHeaderSize, record.end());
  ASSERT_LT(stream.size(), input.size());
  HuffmanDecoder tables{};
  Bytes whole(input.size());
  std::vector<std::size_t> blockEnds;
  LzBlockBoundary wholeAt;
  ASSERT_TRUE(DecodeLzHuffmanArriving(stream, whole, wholeAt, true, tables,
                                      [&](std::size_t) { blockEnds.push_back(wholeAt.consumed); }));
  ASSERT_TRUE(whole == input);
  ASSERT_GT(blockEnds.size(), 16u);

  std::vector<std::size_t> stops;
  for (const std::size_t end : blockEnds) {
    for (const std::size_t stop : {end - 2, end - 1, end, end + 1}) {
      if (stop <= stream.size() && (stops.empty() || stop > stops.back())) stops.push_back(stop);
    }
  }
  Bytes output(input.size());
  LzBlockBoundary at;
  std::size_t told = 0;
  const DecodedUpTo take = [&](std::size_t end) {
    EXPECT_TRUE(std::equal(output.begin() + static_cast<std::ptrdiff_t>(told),
                           output.begin() + static_cast<std::ptrdiff_t>(end),
                           input.begin() + static_cast<std::ptrdiff_t>(told)))
        << "bytes " << told << " to " << end;
    told = end;
  };
  for (const std::size_t stop : stops) {
    const Bytes arrived(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stop));
    ASSERT_TRUE(DecodeLzHuffmanArriving(arrived, output, at, false, tables, take)) << "stopped at " << stop;
    EXPECT_LE(at.consumed, stop);
  }
  ASSERT_TRUE(DecodeLzHuffmanArriving(stream, output, at, true, tables, take));
  EXPECT_EQ(told, input.size());
  EXPECT_TRUE(output == input);
}

}  // namespace
}  // namespace qvn::compression
