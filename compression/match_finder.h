#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "base/byte_order.h"
#include "compression/xpress_huffman_format.h"

namespace qvn::compression {

struct Match {
  std::uint32_t length = 0;  // 0: none found
  std::uint32_t offset = 0;
};

// Finds earlier occurrences of the bytes at a position through hash chains
// over 4-byte prefixes: a head per hash and, per position, a link to the
// previous position with the same hash. Links are kept for the last 64 KiB
// only, which is as far back as a match may reach.
//
// Beside the chains, a table holds the latest position per 3-byte prefix:
// where the chains offer nothing nearer, it gives a match of 3 if that one
// is near. Such short matches pay only at short distances, and there they
// are common (in machine code above all): they save more than deeper
// chain walks would, at far less cost.
class MatchFinder {
 public:
  // Matches of 3 reach this far back at most: further, the offset bits
  // cost about what the three literals would.
  static constexpr std::uint32_t kMaxShortOffset = 4096;

  // FindAllAndInsert walks at most `maxChainDepth` candidates; every search
  // stops early on a match of `niceLength` or more.
  MatchFinder(unsigned maxChainDepth, std::uint32_t niceLength);

  // Starts over on new data; positions are indexes into it.
  void Reset(std::span<const std::uint8_t> data);

  // Matches found from now on end at `end` at the latest (at first, the
  // data's end): a parser that stops at a block's end need not measure
  // further.
  void EndMatchesAt(std::uint32_t end) { matchEnd_ = end; }

  // The longest match at `position` (the nearest among equals) within
  // `maxDepth` candidates, then records `position` for later searches.
  // Positions must rise. Inline (below).
  Match FindAndInsert(std::uint32_t position, unsigned maxDepth);

  // Every match at `position` longer than all nearer ones, nearest first
  // (so lengths rise), appended to `matches`; then records `position`. A
  // match of 3 comes first when it is the nearest.
  void FindAllAndInsert(std::uint32_t position, std::vector<Match>& matches);

  // Records `position` without searching (for positions inside a match).
  // Inline: the encoder records most positions this way.
  void Insert(std::uint32_t position) {
    if (data_.size() - position < 4) {
      return;
    }
    Record(position, LoadLe32(data_.data() + position));
  }

  // Records every position from `from` up to `end`.
  void InsertRange(std::uint32_t from, std::uint32_t end) {
    // Only the last three positions of the data lack four bytes to hash.
    const std::uint32_t hashable = data_.size() < 4 ? 0 : static_cast<std::uint32_t>(data_.size() - 3);
    for (std::uint32_t position = from; position < std::min(end, hashable); ++position) {
      Record(position, LoadLe32(data_.data() + position));
    }
  }

 private:
  // 2^17 heads: fewer unrelated prefixes share a chain than with 2^16, so
  // walks are shorter and find more.
  static constexpr unsigned kHashBits = 17;
  // The short-match table needs only cover kMaxShortOffset positions.
  static constexpr unsigned kShortHashBits = 14;
  // Links are kept for the positions a match can reach back to.
  static constexpr std::uint32_t kWindowSize = kMaxOffset + 1;
  static constexpr std::uint32_t kWindowMask = kWindowSize - 1;
  // An empty head as if it held a position a window before position 0, so
  // that one distance check ends every walk: chunks are far smaller than
  // 2^32 - 2^16 bytes.
  static constexpr std::uint32_t kNoPosition = 0u - kWindowSize;

  // Walks the chain at `position`, calling onLonger for each match longer
  // than those before it, and records `position`. Returns the longest, and
  // in `shortCandidate` what the short table held for `position`.
  template <typename OnLonger>
  Match Search(std::uint32_t position, unsigned maxDepth, OnLonger onLonger, std::uint32_t& shortCandidate);
  // The distance of a match of 3 at `position` from `shortCandidate`; 0 if
  // that is no such match.
  std::uint32_t ShortMatchDistance(std::uint32_t position, std::uint32_t shortCandidate) const;
  // `prefix` is the four bytes at the position, as loaded little-endian.
  static std::uint32_t HashOf(std::uint32_t prefix) { return (prefix * 0x9E3779B1u) >> (32 - kHashBits); }
  static std::uint32_t ShortHashOf(std::uint32_t prefix) {
    return ((prefix << 8) * 0x9E3779B1u) >> (32 - kShortHashBits);
  }
  void Record(std::uint32_t position, std::uint32_t prefix) {
    const std::uint32_t hash = HashOf(prefix);
    previous_[position & kWindowMask] = head_[hash];
    head_[hash] = position;
    shortHead_[ShortHashOf(prefix)] = position;
  }
  std::uint32_t MatchLength(std::uint32_t earlier, std::uint32_t position, std::uint32_t limit) const;
  // Eight bytes in the machine's order: only compared for equality.
  static std::uint64_t LoadNative64(const std::uint8_t* p) {
    std::uint64_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
  }

  unsigned maxChainDepth_;
  std::uint32_t niceLength_;
  std::span<const std::uint8_t> data_;
  std::uint32_t matchEnd_ = 0;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> previous_;
  std::vector<std::uint32_t> shortHead_;
};

// The searches are defined here so that the encoder's parsing loops, which
// call them for most positions, can inline them.

inline std::uint32_t MatchFinder::MatchLength(std::uint32_t earlier, std::uint32_t position,
                                              std::uint32_t limit) const {
  const std::uint8_t* a = data_.data() + earlier;
  const std::uint8_t* b = data_.data() + position;
  std::uint32_t length = 0;
  while (limit - length >= 8) {
    const std::uint64_t difference = LoadNative64(a + length) ^ LoadNative64(b + length);
    if (difference != 0) {
      // The first differing byte is the lowest one on a little-endian load.
      const int firstDifferentByte = (std::endian::native == std::endian::little) ? std::countr_zero(difference) / 8
                                                                                  : std::countl_zero(difference) / 8;
      return length + static_cast<std::uint32_t>(firstDifferentByte);
    }
    length += 8;
  }
  while (length < limit && a[length] == b[length]) {
    ++length;
  }
  return length;
}

template <typename OnLonger>
Match MatchFinder::Search(std::uint32_t position, unsigned maxDepth, OnLonger onLonger, std::uint32_t& shortCandidate) {
  shortCandidate = kNoPosition;
  const std::size_t remaining = data_.size() - position;
  if (remaining < 4) {
    return {};
  }
  const std::uint8_t* const here = data_.data() + position;
  const std::uint32_t prefix = LoadLe32(here);
  const std::uint32_t hash = HashOf(prefix);
  std::uint32_t candidate = head_[hash];
  previous_[position & kWindowMask] = candidate;
  head_[hash] = position;
  const std::uint32_t shortHash = ShortHashOf(prefix);
  shortCandidate = shortHead_[shortHash];
  shortHead_[shortHash] = position;
  // The next search is most often at the next byte: its head is on its
  // way from memory while this chain is walked.
  if (remaining >= 5) {
    __builtin_prefetch(&head_[HashOf(LoadLe32(here + 1))]);
  }

  if (position >= matchEnd_) {
    return {};
  }
  const std::uint32_t limit = matchEnd_ - position;
  const std::uint32_t wantedLength = std::min(niceLength_, limit);
  Match best;
  best.length = kMinMatchLength - 1;
  // Links older than the window may have been overwritten by newer
  // positions: the distance check ends the walk before reaching them. A
  // distance of 0 wraps round and ends it too.
  for (unsigned depth = maxDepth; depth > 0; --depth) {
    if (position - candidate - 1 >= kMaxOffset) {
      break;
    }
    const std::uint8_t* const there = data_.data() + candidate;
    // Cheap rejection: a longer match must agree at the current best length.
    if (there[best.length] == here[best.length] && LoadLe32(there) == prefix) {
      const std::uint32_t length = MatchLength(candidate, position, limit);
      if (length > best.length) {
        best = {length, position - candidate};
        onLonger(best);
        if (length >= wantedLength) {
          break;
        }
      }
    }
    candidate = previous_[candidate & kWindowMask];
  }
  return best.length >= kMinMatchLength ? best : Match{};
}

inline std::uint32_t MatchFinder::ShortMatchDistance(std::uint32_t position, std::uint32_t shortCandidate) const {
  const std::uint32_t distance = position - shortCandidate;
  // The table holds a position per hash, not per prefix: the bytes decide.
  // Its positions all had four bytes to load.
  if (distance > kMaxShortOffset || position + kMinMatchLength > matchEnd_ ||
      ((LoadLe32(data_.data() + shortCandidate) ^ LoadLe32(data_.data() + position)) & 0xFFFFFF) != 0) {
    return 0;
  }
  return distance;
}

inline Match MatchFinder::FindAndInsert(std::uint32_t position, unsigned maxDepth) {
  std::uint32_t shortCandidate = 0;
  const Match longest = Search(
      position, maxDepth, [](const Match&) {}, shortCandidate);
  if (longest.length != 0) {
    return longest;
  }
  const std::uint32_t distance = ShortMatchDistance(position, shortCandidate);
  return distance != 0 ? Match{kMinMatchLength, distance} : Match{};
}

}  // namespace qvn::compression
