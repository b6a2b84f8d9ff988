#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/huffman_code_builder.h"
#include "compression/match_finder.h"

namespace qvn::compression {

// Encodes chunks as raw LZ77+Huffman streams. Blocks end where the decoder
// will switch tables (at the first symbol boundary at or past 64 KiB of a
// block's output), each with its own length-limited canonical code; matches
// reach back up to 65,535 bytes, across block boundaries but never before
// the chunk; the end symbol 256 closes the chunk's last block. Parsing is
// lazy: a match is put off by one byte when the next position has a longer
// one. Reusable across chunks.
class LzEncoder {
 public:
  explicit LzEncoder(Level level);

  // Writes the stream of `chunk` into `stream`. Returns false, with `stream`
  // unspecified, as soon as it cannot come out smaller than the chunk.
  bool Encode(std::span<const std::uint8_t> chunk, std::vector<std::uint8_t>& stream);

 private:
  struct Token {
    std::uint32_t length;  // 0 for a literal
    std::uint16_t symbol;
    std::uint16_t offset;
  };

  void AddLiteral(std::uint8_t byte);
  void AddMatch(const Match& match);
  // Size the current block can take at most, from its symbol statistics.
  std::size_t BlockSizeBound(const CodeLengths& lengths) const;
  std::uint8_t* WriteBlock(const CodeLengths& lengths, bool lastBlock, std::uint8_t* out) const;

  std::uint32_t niceLength_;
  MatchFinder finder_;
  std::vector<Token> tokens_;
  Frequencies frequencies_{};
  std::uint64_t offsetBitCount_ = 0;
  std::size_t lengthByteCount_ = 0;
};

}  // namespace qvn::compression
