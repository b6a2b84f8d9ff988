// Damaged or unusual streams give the right failure, never a crash; each
// rule comes with the intact stream it was cut from, which must decode.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "compression/buffer_format.h"
#include "compression/chunk_by_chunk_decode.h"
#include "compression/crc32.h"
#include "compression/xpress_huffman_format.h"
#include "tests/compression/test_data.h"

namespace qvn::compression {
namespace {

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Recomputes the check byte, so that a case can damage one field alone.
void FixCheckByte(Bytes& stream) {
  Bytes covered(stream.begin(), stream.begin() + 6);
  covered.insert(covered.end(), stream.begin() + 7, stream.begin() + 24);
  stream[6] = static_cast<std::uint8_t>(Crc32(covered));
}

// A buffer-mode stream of one chunk record, written here independently of
// the encoder.
Bytes BufferStream(std::uint32_t expandedSize, const Bytes& record) {
  Bytes stream = {0x0A, 0x51, 0xE5, 0xC0, 0x18, 0x00, 0x00, 0x04};
  stream.resize(28);
  PutLe32(stream, 8, expandedSize);
  PutLe32(stream, 16, expandedSize);
  PutLe32(stream, 24, static_cast<std::uint32_t>(record.size()));
  FixCheckByte(stream);
  stream.insert(stream.end(), record.begin(), record.end());
  return stream;
}

// A raw LZ77+Huffman chunk: the table of code lengths (symbol -> length),
// then `body` (16-bit words of bits, little-endian, and length bytes).
Bytes RawChunk(const std::map<int, int>& codeLengths, const Bytes& body) {
  Bytes chunk(kLengthTableBytes, 0);
  for (const auto& [symbol, length] : codeLengths) {
    chunk[static_cast<std::size_t>(symbol / 2)] |= static_cast<std::uint8_t>(length << (symbol % 2 ? 4 : 0));
  }
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

// Literal 0 has code 0, the match symbol `matchSymbol` code 1.
std::map<int, int> LiteralZeroAndMatch(int matchSymbol) { return {{0, 1}, {matchSymbol, 1}}; }

constexpr int kMatchLength3Offset1 = MatchSymbol(0, 0);
constexpr int kMatchLongLengthOffset1 = MatchSymbol(0, kLongLengthNibble);

struct DecodeCase {
  std::string name;
  Bytes stream;
  std::size_t capacity;
  DecodeStatus status;
  std::uint64_t produced;
  std::uint64_t required;
};

void ExpectResults(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes output(c.capacity);
    const DecodeResult result = DecodeBuffer(c.stream, output);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.produced, c.produced);
    EXPECT_EQ(result.required, c.required);
    // A chunk at a time, the same verdict and, on success, the same bytes.
    Bytes scratch(ChunkScratchSize(c.capacity));
    Bytes pieces;
    HuffmanDecoder tables{};
    const DecodeResult byChunk = DecodeBufferChunkByChunk(
        c.stream, c.capacity, scratch, tables, [&pieces](std::span<const std::uint8_t> expanded) {
          pieces.insert(pieces.end(), expanded.begin(), expanded.end());
        });
    EXPECT_EQ(byChunk.status, c.status);
    EXPECT_EQ(byChunk.produced, c.produced);
    EXPECT_EQ(byChunk.required, c.required);
    if (c.status == DecodeStatus::kOk) {
      EXPECT_TRUE(pieces == Bytes(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(c.produced)));
    }
  }
}

constexpr DecodeStatus kOk = DecodeStatus::kOk;
constexpr DecodeStatus kBad = DecodeStatus::kBadData;
constexpr DecodeStatus kTooSmall = DecodeStatus::kBufferTooSmall;

Bytes SampleText(std::size_t size) {
  Bytes text;
  for (unsigned i = 0; text.size() < size; ++i) {
    const std::string line = "line " + std::to_string(i * 7919 % 1000) + " of the sample text\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  text.resize(size);
  return text;
}

// A stream of several chunks of `chunkSize` bytes, each part's record taken
// from its own one-chunk stream, so that records may differ in kind.
Bytes ChunkedStream(std::uint32_t chunkSize, const std::vector<Bytes>& parts) {
  std::uint32_t expandedSize = 0;
  Bytes records;
  for (const Bytes& part : parts) {
    expandedSize += static_cast<std::uint32_t>(part.size());
    const Bytes alone = EncodeBuffer(part);
    records.insert(records.end(), alone.begin() + 24, alone.end());
  }
  Bytes stream = BufferStream(expandedSize, {});
  PutLe32(stream, 16, chunkSize);
  FixCheckByte(stream);
  stream.resize(24);
  stream.insert(stream.end(), records.begin(), records.end());
  return stream;
}

Bytes Damaged(Bytes stream, const std::function<void(Bytes&)>& damage) {
  damage(stream);
  return stream;
}

TEST(DecodeBufferTest, HeaderMustBeExact) {
  const Bytes good = EncodeBuffer(SampleText(200000));
  const std::size_t size = 200000;
  ExpectResults({
      {"intact", good, size, kOk, size, size},
      {"wrong magic",
       Damaged(good,
               [](Bytes& s) {
                 s[0] ^= 1;
                 FixCheckByte(s);
               }),
       size, kBad, 0, 0},
      {"wrong check byte", Damaged(good, [](Bytes& s) { s[6] ^= 0x40; }), size, kBad, 0, 0},
      {"wrong size under the check byte", Damaged(good, [](Bytes& s) { s[8] ^= 1; }), size, kBad, 0, 0},
      {"algorithm 3",
       Damaged(good,
               [](Bytes& s) {
                 s[7] = 3;
                 FixCheckByte(s);
               }),
       size, kBad, 0, 0},
      {"header size 23",
       Damaged(good,
               [](Bytes& s) {
                 s[4] = 23;
                 FixCheckByte(s);
               }),
       size, kBad, 0, 0},
      {"header cut short", Bytes(good.begin(), good.begin() + 23), size, kBad, 0, 0},
      {"chunk size 0",
       Damaged(good,
               [](Bytes& s) {
                 PutLe32(s, 16, 0);
                 FixCheckByte(s);
               }),
       size, kBad, 0, size},
      {"chunk size over 64 MiB",
       Damaged(good,
               [](Bytes& s) {
                 PutLe32(s, 16, 0x4000001);
                 FixCheckByte(s);
               }),
       size, kBad, 0, size},
      {"chunk size's high half set",
       Damaged(good,
               [](Bytes& s) {
                 s[20] = 1;
                 FixCheckByte(s);
               }),
       size, kBad, 0, size},
  });
}

TEST(DecodeBufferTest, CapacityDecidesBetweenTooSmallAndFewerBytes) {
  const Bytes good = EncodeBuffer(SampleText(100000));
  ExpectResults({
      {"exact capacity", good, 100000, kOk, 100000, 100000},
      {"one byte too small", good, 99999, kTooSmall, 0, 100000},
      {"no capacity", good, 0, kTooSmall, 0, 100000},
      {"capacity larger: fewer bytes than room", good, 100001, kOk, 100000, 100000},
      {"empty stream into no room", EncodeBuffer(Bytes{}), 0, kOk, 0, 0},
  });
}

TEST(DecodeBufferTest, ChunkRecordsMustMatchTheHeader) {
  const Bytes good = EncodeBuffer(SampleText(100000));
  const Bytes stored = BufferStream(5, {'h', 'e', 'l', 'l', 'o'});
  ExpectResults({
      {"compressed chunk", good, 100000, kOk, 100000, 100000},
      {"compressed chunk cut short", Bytes(good.begin(), good.end() - 1), 100000, kBad, 0, 100000},
      {"compressed chunk cut to its record size", Bytes(good.begin(), good.begin() + 28), 100000, kBad, 0, 100000},
      {"record larger than what follows",
       Damaged(good, [](Bytes& s) { PutLe32(s, 24, static_cast<std::uint32_t>(s.size())); }), 100000, kBad, 0, 100000},
      {"byte after the last record", Damaged(good, [](Bytes& s) { s.push_back(0); }), 100000, kBad, 0, 100000},
      {"stored chunk", stored, 5, kOk, 5, 5},
      {"stored chunk cut short", Bytes(stored.begin(), stored.end() - 1), 5, kBad, 0, 5},
      {"record size missing", Bytes(stored.begin(), stored.begin() + 26), 5, kBad, 0, 5},
  });
}

// Chunks are decoded on two threads, each taking every other one: damage to
// either thread's chunk fails the whole stream, and intact ones land in
// their own part of the output.
TEST(DecodeBufferTest, EveryChunkOfSeveralCounts) {
  const Bytes text = SampleText(2 * 4096);
  const Bytes noise = Noise(4096, 1);
  const Bytes good =
      ChunkedStream(4096, {Bytes(text.begin(), text.begin() + 4096), Bytes(text.begin() + 4096, text.end()), noise});
  const std::size_t second = 28 + LoadLe32(good.data() + 24);
  const std::size_t third = second + 4 + LoadLe32(good.data() + second);
  ASSERT_EQ(LoadLe32(good.data() + third), 4096u);  // the noise is stored raw
  const auto withoutCodes = [](std::size_t at) {
    return [at](Bytes& s) { std::fill_n(s.data() + at, kLengthTableBytes, 0); };
  };
  ExpectResults({
      {"three chunks, the last stored", good, 12288, kOk, 12288, 12288},
      {"first chunk without codes", Damaged(good, withoutCodes(28)), 12288, kBad, 0, 12288},
      {"second chunk without codes", Damaged(good, withoutCodes(second + 4)), 12288, kBad, 0, 12288},
  });
  Bytes output(12288);
  ASSERT_EQ(DecodeBuffer(good, output).status, kOk);
  Bytes expected = text;
  expected.insert(expected.end(), noise.begin(), noise.end());
  EXPECT_TRUE(output == expected);
}

TEST(DecodeBufferTest, CodeTablesMustBeCompletePrefixCodes) {
  const Bytes zeros = {0x00, 0x00, 0x00, 0x00};
  ExpectResults({
      {"complete", BufferStream(16, RawChunk({{0, 1}, {1, 1}}, zeros)), 16, kOk, 16, 16},
      {"complete over 15 bits",
       BufferStream(16, RawChunk({{0, 1},
                                  {1, 2},
                                  {2, 3},
                                  {3, 4},
                                  {4, 5},
                                  {5, 6},
                                  {6, 7},
                                  {7, 8},
                                  {8, 9},
                                  {9, 10},
                                  {10, 11},
                                  {11, 12},
                                  {12, 13},
                                  {13, 14},
                                  {14, 15},
                                  {15, 15}},
                                 zeros)),
       16, kOk, 16, 16},
      {"incomplete", BufferStream(16, RawChunk({{0, 1}}, zeros)), 16, kBad, 0, 16},
      {"incomplete by one 15-bit code",
       BufferStream(16, RawChunk({{0, 1},
                                  {1, 2},
                                  {2, 3},
                                  {3, 4},
                                  {4, 5},
                                  {5, 6},
                                  {6, 7},
                                  {7, 8},
                                  {8, 9},
                                  {9, 10},
                                  {10, 11},
                                  {11, 12},
                                  {12, 13},
                                  {13, 14},
                                  {14, 15}},
                                 zeros)),
       16, kBad, 0, 16},
      {"oversubscribed", BufferStream(16, RawChunk({{0, 1}, {1, 1}, {2, 1}}, zeros)), 16, kBad, 0, 16},
      {"no codes at all", BufferStream(16, RawChunk({}, zeros)), 16, kBad, 0, 16},
      {"table cut short", BufferStream(16, Bytes(200, 0x11)), 16, kBad, 0, 16},
  });
}

TEST(DecodeBufferTest, MatchesMustStayInsideTheOutput) {
  // Bits "01": literal 0, then a match of length 3 at offset 1.
  const Bytes literalThenMatch = RawChunk(LiteralZeroAndMatch(kMatchLength3Offset1), {0x00, 0x40, 0x00, 0x00});
  // Bit "1" first: the match comes before any output.
  const Bytes matchFirst = RawChunk(LiteralZeroAndMatch(kMatchLength3Offset1), {0x00, 0x80, 0x00, 0x00});
  ExpectResults({
      {"match after a literal", BufferStream(4, literalThenMatch), 4, kOk, 4, 4},
      {"match before the start of the output", BufferStream(4, matchFirst), 4, kBad, 0, 4},
      {"match past the end of the output", BufferStream(3, literalThenMatch), 3, kBad, 0, 3},
  });
}

TEST(DecodeBufferTest, InputMustHoldEveryBitAndByteUsed) {
  const Bytes oneWord = RawChunk({{0, 1}, {1, 1}}, {0x00, 0x00});
  // Literal, then a match with length nibble 15 whose length byte 0 makes
  // it 18 bytes long.
  const Bytes withLengthByte = RawChunk(LiteralZeroAndMatch(kMatchLongLengthOffset1), {0x00, 0x40, 0x00, 0x00, 0x00});
  const Bytes lengthByteMissing = Bytes(withLengthByte.begin(), withLengthByte.end() - 1);
  // The 16-bit length: byte 255, then 1000 - 3.
  const Bytes with16BitLength =
      RawChunk(LiteralZeroAndMatch(kMatchLongLengthOffset1), {0x00, 0x40, 0x00, 0x00, 0xFF, 0xE5, 0x03});
  // The 32-bit length: byte 255, 16-bit 0, then 100000 - 3.
  const Bytes with32BitLength = RawChunk(LiteralZeroAndMatch(kMatchLongLengthOffset1),
                                         {0x00, 0x40, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x9D, 0x86, 0x01, 0x00});
  ExpectResults({
      {"16 literals from one word, the second word absent", BufferStream(16, oneWord), 16, kOk, 16, 16},
      {"a 17th literal needs the absent word", BufferStream(17, oneWord), 17, kBad, 0, 17},
      {"length byte present", BufferStream(19, withLengthByte), 19, kOk, 19, 19},
      {"length byte absent", BufferStream(19, lengthByteMissing), 19, kBad, 0, 19},
      {"16-bit length", BufferStream(1001, with16BitLength), 1001, kOk, 1001, 1001},
      {"16-bit length cut short", BufferStream(1001, Bytes(with16BitLength.begin(), with16BitLength.end() - 1)), 1001,
       kBad, 0, 1001},
      {"32-bit length", BufferStream(100001, with32BitLength), 100001, kOk, 100001, 100001},
      {"32-bit length cut short", BufferStream(100001, Bytes(with32BitLength.begin(), with32BitLength.end() - 1)),
       100001, kBad, 0, 100001},
  });
}

// Streams long enough for the decoder's fast loop, which takes two symbols
// per refill: a block must still end at its first symbol boundary past
// 64 KiB, and a match one byte too far back must still fail there.
TEST(DecodeBufferTest, FastLoopKeepsBlockEndsAndOffsets) {
  // Literal 0 is "0"; the match "1" has 3 offset bits (offset 8 to 15) and
  // length 4.
  const std::map<int, int> firstTable = {{0, 1}, {MatchSymbol(3, 1), 1}};
  // Bits: 8 literals, the match at offset 8, 65,524 more literals: 65,536
  // bytes in an odd number of symbols, so that the block's last symbol is
  // the first of a refill. After 65,536 bits the format has read 4,097
  // words.
  Bytes firstBody(2 * 4097, 0);
  firstBody[0] = 0x80;
  // The next block's table has other literals, so a symbol decoded with
  // the old table shows in the output.
  const Bytes secondBlock = RawChunk({{2, 1}, {3, 1}}, Bytes(100, 0));
  Bytes twoBlocks = RawChunk(firstTable, firstBody);
  twoBlocks.insert(twoBlocks.end(), secondBlock.begin(), secondBlock.end());
  Bytes twoBlocksExpanded(kBlockSize + 64, 0);
  std::fill(twoBlocksExpanded.begin() + kBlockSize, twoBlocksExpanded.end(), 2);

  // The same match after 7 literals: offset 8 is one past what was written.
  Bytes tooFarBody(200, 0);
  tooFarBody[1] = 0x01;
  struct Case {
    std::string name;
    Bytes record;
    Bytes expanded;  // empty: damaged
  };
  const std::vector<Case> cases = {
      {"second block takes over at its first symbol", twoBlocks, twoBlocksExpanded},
      {"second table cut short by one byte",
       Bytes(twoBlocks.begin(), twoBlocks.begin() + kLengthTableBytes + 8194 + kLengthTableBytes - 1),
       {}},
      {"first table cut short by one byte", Bytes(twoBlocks.begin(), twoBlocks.begin() + kLengthTableBytes - 1), {}},
      {"match at an offset written",
       RawChunk(firstTable, Damaged(tooFarBody,
                                    [](Bytes& b) {
                                      b[0] = 0x80;
                                      b[1] = 0;
                                    })),
       Bytes(200, 0)},
      {"match one byte before the output", RawChunk(firstTable, tooFarBody), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t size = c.expanded.empty() ? twoBlocksExpanded.size() : c.expanded.size();
    Bytes output(size);
    const DecodeResult result = DecodeBuffer(BufferStream(static_cast<std::uint32_t>(size), c.record), output);
    EXPECT_EQ(result.status, c.expanded.empty() ? kBad : kOk);
    if (!c.expanded.empty()) {
      EXPECT_EQ(output, c.expanded);
    }
  }
}

}  // namespace
}  // namespace qvn::compression
