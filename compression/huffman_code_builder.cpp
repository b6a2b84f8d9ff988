#include "compression/huffman_code_builder.h"

#include <algorithm>
#include <vector>

namespace qvn::compression {
namespace {

// Huffman's depths for leaves sorted by ascending frequency, built with the
// two-queue method: internal nodes are created in non-decreasing weight
// order, so the smallest two are always at the heads of the two queues.
std::vector<int> HuffmanDepths(const std::vector<std::uint64_t>& sortedWeights) {
  const std::size_t leafCount = sortedWeights.size();
  const std::size_t nodeCount = 2 * leafCount - 1;
  std::vector<std::uint64_t> weight(sortedWeights);
  weight.resize(nodeCount);
  // The root, the last node, has no parent: its entry stays unused.
  std::vector<std::size_t> parent(nodeCount, 0);

  std::size_t nextLeaf = 0;
  std::size_t nextInternal = leafCount;
  auto takeSmallest = [&](std::size_t newNode) {
    // On equal weights a leaf goes first, which keeps the tree shallow.
    const bool leaf = nextLeaf < leafCount && (nextInternal >= newNode || weight[nextLeaf] <= weight[nextInternal]);
    const std::size_t node = leaf ? nextLeaf++ : nextInternal++;
    parent[node] = newNode;
    return weight[node];
  };
  for (std::size_t newNode = leafCount; newNode < nodeCount; ++newNode) {
    const std::uint64_t first = takeSmallest(newNode);
    weight[newNode] = first + takeSmallest(newNode);
  }

  std::vector<int> depth(nodeCount, 0);
  for (std::size_t node = nodeCount - 1; node-- > 0;) {
    depth[node] = depth[parent[node]] + 1;
  }
  depth.resize(leafCount);
  return depth;
}

// Lengths too long for the format are cut to maxLength, which overfills the
// code space; the rarest symbols are then lengthened until it fits, and the
// most frequent shortened while room is left, so the code stays complete.
void LimitLengths(std::vector<int>& lengths, int maxLength) {
  const std::uint64_t fullSpace = std::uint64_t{1} << maxLength;
  auto spaceOf = [&](int length) { return std::uint64_t{1} << (maxLength - length); };

  std::uint64_t used = 0;
  for (int& length : lengths) {
    length = std::min(length, maxLength);
    used += spaceOf(length);
  }
  // `lengths` follows ascending frequency: lengthen from the front.
  for (std::size_t i = 0; used > fullSpace && i < lengths.size(); ++i) {
    while (used > fullSpace && lengths[i] < maxLength) {
      used -= spaceOf(lengths[i] + 1);
      ++lengths[i];
    }
  }
  // Fill what the overshoot left free, most frequent first. Each pass makes
  // progress: the longest code's share always fits in the gap.
  while (used < fullSpace) {
    for (std::size_t i = lengths.size(); i-- > 0 && used < fullSpace;) {
      if (lengths[i] > 1 && used + spaceOf(lengths[i]) <= fullSpace) {
        used += spaceOf(lengths[i]);
        --lengths[i];
      }
    }
  }
}

}  // namespace

CodeLengths BuildCodeLengths(const Frequencies& frequencies, int maxLength) {
  std::vector<std::size_t> symbols;
  for (std::size_t symbol = 0; symbol < kSymbolCount; ++symbol) {
    if (frequencies[symbol] != 0) {
      symbols.push_back(symbol);
    }
  }
  CodeLengths lengths{};
  if (symbols.empty()) {
    return lengths;
  }
  if (symbols.size() == 1) {
    lengths[symbols[0]] = 1;
    lengths[symbols[0] == 0 ? 1 : 0] = 1;
    return lengths;
  }

  std::stable_sort(symbols.begin(), symbols.end(),
                   [&](std::size_t a, std::size_t b) { return frequencies[a] < frequencies[b]; });
  std::vector<std::uint64_t> weights(symbols.size());
  std::transform(symbols.begin(), symbols.end(), weights.begin(),
                 [&](std::size_t symbol) { return frequencies[symbol]; });
  std::vector<int> leafLengths = HuffmanDepths(weights);
  if (*std::max_element(leafLengths.begin(), leafLengths.end()) > maxLength) {
    LimitLengths(leafLengths, maxLength);
  }
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    lengths[symbols[i]] = static_cast<std::uint8_t>(leafLengths[i]);
  }
  return lengths;
}

std::array<std::uint16_t, kSymbolCount> AssignCanonicalCodes(const CodeLengths& lengths) {
  LengthCounts countOfLength{};
  for (std::uint8_t length : lengths) {
    ++countOfLength[length];
  }
  LengthCounts nextCode = FirstCanonicalCodes(countOfLength);
  std::array<std::uint16_t, kSymbolCount> codes{};
  for (std::size_t symbol = 0; symbol < kSymbolCount; ++symbol) {
    if (lengths[symbol] != 0) {
      codes[symbol] = static_cast<std::uint16_t>(nextCode[lengths[symbol]]++);
    }
  }
  return codes;
}

}  // namespace qvn::compression
