#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/huffman_code_builder.h"
#include "compression/match_finder.h"
#include "compression/near_optimal_parser.h"
#include "compression/xpress_huffman_format.h"

namespace qvn::compression {

// Encodes chunks as raw LZ77+Huffman streams. Blocks end where the decoder
// will switch tables: every block but a chunk's last covers exactly 64 KiB
// (no match runs past its end), each with its own length-limited canonical
// code; matches reach back up to 65,535 bytes, across block boundaries but
// never before the chunk; the end symbol 256 closes the chunk's last block.
//
// The fast level parses lazily: a match is put off by one byte when the
// next position has a longer one (searched only a few candidates deep);
// searches walk deeper after long matches, and long stretches without
// matches are searched ever more sparsely. The strong level searches
// deeper and takes each block's cheapest path (NearOptimalParser).
// Reusable across chunks.
class LzEncoder {
 public:
  explicit LzEncoder(Level level);

  // Told the bytes of the chunk that each block covers, as it is done.
  using BlockDone = std::function<void(std::size_t bytes)>;

  // A chunk's stream is the streams of its segments, one after the other:
  // segments of this many bytes (a multiple of 64 KiB), the last one
  // shorter. Each is encoded on its own, so they may be encoded apart.
  static std::uint32_t SegmentSize(Level level);

  // How far before its segment a segment's stream reaches back, and so
  // how many of the bytes before it the encoder reads.
  static constexpr std::uint32_t kSegmentHistory = kMaxOffset;
  // Far more than the encoder reads past its segment's end (the hashes of
  // its last positions).
  static constexpr std::uint32_t kSegmentReadAhead = 64 * 1024;

  // The stream of chunk[from, to), a segment: `from` a multiple of
  // SegmentSize, `to` the next one or the chunk's end. Only
  // chunk[from - kSegmentHistory, to) and a few bytes past `to` are read,
  // and the chunk's last segment is told by `to` being the end of `chunk`.
  // So `chunk` may also be a window into a chunk: those bytes and the
  // kSegmentReadAhead after them (or all up to the chunk's end), with
  // `from` and `to` counted from the window's start; the stream is the
  // same. It lies in a buffer the encoder keeps until its next call; empty
  // as soon as it would come out longer than the segment by more than a
  // sixteenth and 1 KiB, which no useful stream does.
  std::span<const std::uint8_t> EncodeSegment(std::span<const std::uint8_t> chunk, std::uint32_t from, std::uint32_t to,
                                              const BlockDone& blockDone = {});

 private:
  struct Token {
    std::uint32_t length;  // 0 for a literal
    std::uint16_t symbol;
    std::uint16_t offsetExtra;  // the offset's bits below its top one (0 for a literal)
  };

  // Each parses one block from `position` into tokens_ and returns its end.
  std::uint32_t ParseBlockLazily(std::span<const std::uint8_t> chunk, std::uint32_t position, std::uint32_t end);
  std::uint32_t ParseBlockCheapest(std::span<const std::uint8_t> chunk, std::uint32_t position,
                                   const CodeLengths* previous);

  void StartBlock();
  void AddLiteral(std::uint8_t byte);
  void AddMatch(const Match& match);
  // Size the current block can take at most, from its symbol statistics.
  std::size_t BlockSizeBound(const CodeLengths& lengths) const;
  std::uint8_t* WriteBlock(const CodeLengths& lengths, bool lastBlock, std::uint8_t* out) const;

  std::uint32_t niceLength_;
  unsigned maxChainDepth_;
  MatchFinder finder_;
  std::unique_ptr<NearOptimalParser> cheapestParser_;  // strong level only
  std::vector<NearOptimalParser::Item> items_;

  // Lazy parsing looks one byte ahead, possibly across a block boundary.
  Match deferred_;
  bool haveDeferred_ = false;

  // A block has at most one token per byte of its 64 KiB.
  std::unique_ptr<Token[]> tokens_;
  std::size_t tokenCount_ = 0;
  Frequencies frequencies_{};
  std::uint64_t offsetBitCount_ = 0;
  std::size_t lengthByteCount_ = 0;

  // Not cleared between chunks: only what is written is ever read, and a
  // large buffer's untouched pages cost nothing.
  std::unique_ptr<std::uint8_t[]> stream_;
  std::size_t streamCapacity_ = 0;
};

}  // namespace qvn::compression
