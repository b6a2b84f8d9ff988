#include "compression/near_optimal_parser.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "compression/xpress_huffman_format.h"

namespace qvn::compression {
namespace {

constexpr std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();
// What a symbol the current code leaves out is taken to cost.
constexpr std::uint32_t kUnusedSymbolCost = 12;
// Without a previous code, every match symbol is taken to cost this much.
constexpr std::uint32_t kFirstMatchSymbolCost = 8;
// Passes over the block: each after the first prices symbols from the
// statistics of the path before.
constexpr int kPasses = 3;

std::uint32_t LengthByteBits(std::uint32_t length) { return 8 * LengthByteCount(length); }

}  // namespace

NearOptimalParser::NearOptimalParser(MatchFinder& finder, std::uint32_t niceLength)
    : finder_(finder), niceLength_(niceLength) {}

void NearOptimalParser::FindMatches(std::uint32_t start, std::uint32_t span) {
  matches_.clear();
  firstMatch_.assign(span + 1, 0);
  // Inside a match of the nice length or more, positions are recorded but
  // not searched: the long match is taken anyway.
  std::uint32_t searchFrom = 0;
  for (std::uint32_t i = 0; i < span; ++i) {
    firstMatch_[i] = static_cast<std::uint32_t>(matches_.size());
    if (i < searchFrom) {
      finder_.Insert(start + i);
      continue;
    }
    finder_.FindAllAndInsert(start + i, matches_);
    if (matches_.size() > firstMatch_[i] && matches_.back().length >= niceLength_) {
      searchFrom = i + matches_.back().length;
    }
  }
  firstMatch_[span] = static_cast<std::uint32_t>(matches_.size());
}

void NearOptimalParser::CheapestPath(std::span<const std::uint8_t> chunk, std::uint32_t start, std::uint32_t span,
                                     const SymbolCosts& costs, std::vector<Item>& items) {
  nodes_.assign(span + 1, {kUnreached, {0, 0}});
  nodes_[0].cost = 0;
  Node* const nodes = nodes_.data();
  for (std::uint32_t i = 0; i < span; ++i) {
    const std::uint32_t here = nodes[i].cost;
    if (const std::uint32_t cost = here + costs[chunk[start + i]]; cost < nodes[i + 1].cost) {
      nodes[i + 1] = {cost, {0, 0}};
    }
    std::uint32_t shorter = kMinMatchLength - 1;  // lengths up to here were offered by nearer matches
    for (std::uint32_t m = firstMatch_[i]; m < firstMatch_[i + 1]; ++m) {
      const Match match = matches_[m];
      const std::uint32_t base = here + OffsetBitsOf(match.offset);
      // The costs of this offset's symbols, by length above the minimum.
      const std::uint32_t* const symbolCosts = &costs[MatchSymbolOf(kMinMatchLength, match.offset)];
      const std::uint32_t longestShort = std::min(match.length, kLongestNibbleLength);
      for (std::uint32_t length = shorter + 1; length <= longestShort; ++length) {
        if (const std::uint32_t cost = base + symbolCosts[length - kMinMatchLength]; cost < nodes[i + length].cost) {
          nodes[i + length] = {cost, {length, match.offset}};
        }
      }
      if (match.length > kLongestNibbleLength) {
        const std::uint32_t cost = base + symbolCosts[kLongLengthNibble] + LengthByteBits(match.length);
        if (cost < nodes[i + match.length].cost) nodes[i + match.length] = {cost, {match.length, match.offset}};
      }
      shorter = match.length;
    }
  }

  items.clear();
  for (std::uint32_t node = span; node > 0; node -= std::max<std::uint32_t>(nodes[node].arrival.length, 1)) {
    items.push_back(nodes[node].arrival);
  }
  std::reverse(items.begin(), items.end());
}

std::uint32_t NearOptimalParser::ParseBlock(std::span<const std::uint8_t> chunk, std::uint32_t start,
                                            std::uint32_t blockSize, const CodeLengths* previous,
                                            std::vector<Item>& items) {
  const auto span = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, chunk.size() - start));
  // No match runs past the block's end, so every path ends exactly there.
  finder_.EndMatchesAt(start + span);
  FindMatches(start, span);

  SymbolCosts costs;
  if (previous != nullptr) {
    for (unsigned symbol = 0; symbol < kSymbolCount; ++symbol) {
      costs[symbol] = (*previous)[symbol] != 0 ? (*previous)[symbol] : kUnusedSymbolCost;
    }
  } else {
    // Literals priced by the block's own byte counts.
    std::array<std::uint32_t, kLiteralCount> counts{};
    for (std::uint32_t i = 0; i < span; ++i) ++counts[chunk[start + i]];
    for (std::size_t byte = 0; byte < kLiteralCount; ++byte) {
      costs[byte] =
          counts[byte] == 0
              ? kUnusedSymbolCost
              : std::clamp<std::uint32_t>(
                    static_cast<std::uint32_t>(std::lround(std::log2(double(span) / counts[byte]))), 1, kMaxCodeLength);
    }
    std::fill(costs.begin() + kLiteralCount, costs.end(), kFirstMatchSymbolCost);
  }

  for (int pass = 0; pass < kPasses; ++pass) {
    CheapestPath(chunk, start, span, costs, items);
    if (pass + 1 == kPasses) break;
    Frequencies frequencies{};
    std::uint32_t position = start;
    for (const Item& item : items) {
      ++frequencies[item.length == 0 ? chunk[position] : MatchSymbolOf(item.length, item.offset)];
      position += std::max<std::uint32_t>(item.length, 1);
    }
    const CodeLengths lengths = BuildCodeLengths(frequencies);
    for (unsigned symbol = 0; symbol < kSymbolCount; ++symbol) {
      costs[symbol] = lengths[symbol] != 0 ? lengths[symbol] : kUnusedSymbolCost;
    }
  }

  return start + span;
}

}  // namespace qvn::compression
