#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "compression/huffman_code_builder.h"
#include "compression/match_finder.h"

namespace qvn::compression {

// Chooses a block's literals and matches as the cheapest path through the
// block under a model of each symbol's cost in bits: every position offers
// a literal and the matches the finder knows there (all lengths up to 17,
// where the length still fits the symbol, and each match's full length).
// The model starts from the previous block's code, or from the block's own
// byte counts, and is refined twice from the chosen path's own statistics:
// the second makes up for what a block's fixed end costs.
class NearOptimalParser {
 public:
  // One choice of the path: a literal (length 0) or a match.
  struct Item {
    std::uint32_t length;
    std::uint32_t offset;
  };

  NearOptimalParser(MatchFinder& finder, std::uint32_t niceLength);

  // Parses the block of `chunk` that starts at `start`: it covers exactly
  // `blockSize` bytes (fewer at the chunk's end), no match running past it.
  // Replaces `items` and returns the block's end. `previous` is the code of
  // the block before, or null where the block starts afresh. Records the
  // block's positions in the finder, which must not know them yet, and
  // sets where its matches end.
  std::uint32_t ParseBlock(std::span<const std::uint8_t> chunk, std::uint32_t start, std::uint32_t blockSize,
                           const CodeLengths* previous, std::vector<Item>& items);

 private:
  using SymbolCosts = std::array<std::uint32_t, kSymbolCount>;

  void FindMatches(std::uint32_t start, std::uint32_t span);
  void CheapestPath(std::span<const std::uint8_t> chunk, std::uint32_t start, std::uint32_t span,
                    const SymbolCosts& costs, std::vector<Item>& items);

  MatchFinder& finder_;
  std::uint32_t niceLength_;
  // Matches of each position of the block: matches_[firstMatch_[i]] up to
  // matches_[firstMatch_[i + 1]].
  std::vector<Match> matches_;
  std::vector<std::uint32_t> firstMatch_;
  // The cheapest way found to reach each position of the block: its cost,
  // and the item that arrives there (from as many positions before as the
  // item covers).
  struct Node {
    std::uint32_t cost;
    Item arrival;
  };
  std::vector<Node> nodes_;
};

}  // namespace qvn::compression
