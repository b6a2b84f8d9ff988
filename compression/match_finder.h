#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "compression/byte_order.h"

namespace qvn::compression {

struct Match {
  std::uint32_t length = 0;  // 0: none found
  std::uint32_t offset = 0;
};

// Finds earlier occurrences of the bytes at a position through hash chains
// over 4-byte prefixes: a head per hash and, per position, a link to the
// previous position with the same hash. Links are kept for the last 64 KiB
// only, which is as far back as a match may reach.
class MatchFinder {
 public:
  static constexpr std::uint32_t kMaxOffset = 65535;
  static constexpr std::uint32_t kMinLength = 3;

  // Walks at most `maxChainDepth` candidates; stops early on a match of
  // `niceLength` or more.
  MatchFinder(unsigned maxChainDepth, std::uint32_t niceLength);

  // Starts over on new data; positions are indexes into it.
  void Reset(std::span<const std::uint8_t> data);

  // Matches found from now on end at `end` at the latest (at first, the
  // data's end): a parser that stops at a block's end need not measure
  // further.
  void EndMatchesAt(std::uint32_t end) { matchEnd_ = end; }

  // The longest match at `position` (the nearest among equals), then
  // records `position` for later searches. Positions must rise.
  Match FindAndInsert(std::uint32_t position);
  // The same walking at most `maxDepth` candidates.
  Match FindAndInsert(std::uint32_t position, unsigned maxDepth);

  // Every match at `position` longer than all nearer ones, nearest first
  // (so lengths rise), appended to `matches`; then records `position`.
  void FindAllAndInsert(std::uint32_t position, std::vector<Match>& matches);

  // Records `position` without searching (for positions inside a match).
  // Inline: the encoder records most positions this way.
  void Insert(std::uint32_t position) {
    if (data_.size() - position < 4) {
      return;
    }
    const std::uint32_t hash = HashAt(position);
    previous_[position & kWindowMask] = head_[hash];
    head_[hash] = position;
  }

  // Records every position from `from` up to `end`.
  void InsertRange(std::uint32_t from, std::uint32_t end) {
    // Only the last three positions of the data lack four bytes to hash.
    const std::uint32_t hashable = data_.size() < 4 ? 0 : static_cast<std::uint32_t>(data_.size() - 3);
    for (std::uint32_t position = from; position < std::min(end, hashable); ++position) {
      const std::uint32_t hash = HashAt(position);
      previous_[position & kWindowMask] = head_[hash];
      head_[hash] = position;
    }
  }

 private:
  // 2^17 heads: fewer unrelated prefixes share a chain than with 2^16, so
  // walks are shorter and find more.
  static constexpr unsigned kHashBits = 17;
  // An empty head as if it held a position a window before position 0, so
  // that one distance check ends every walk: chunks are far smaller than
  // 2^32 - 2^16 bytes.
  static constexpr std::uint32_t kNoPosition = 0u - 0x10000u;
  static constexpr std::uint32_t kWindowMask = 0xFFFF;

  // Walks the chain at `position`, calling onLonger for each match longer
  // than those before it; records `position`. Returns the longest.
  template <typename OnLonger>
  Match Search(std::uint32_t position, unsigned maxDepth, OnLonger onLonger);
  std::uint32_t HashAt(std::uint32_t position) const {
    return (LoadLe32(data_.data() + position) * 0x9E3779B1u) >> (32 - kHashBits);
  }
  std::uint32_t MatchLength(std::uint32_t earlier, std::uint32_t position, std::uint32_t limit) const;

  unsigned maxChainDepth_;
  std::uint32_t niceLength_;
  std::span<const std::uint8_t> data_;
  std::uint32_t matchEnd_ = 0;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> previous_;
};

}  // namespace qvn::compression
