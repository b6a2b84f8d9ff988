#include "compression/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "compression/byte_order.h"

namespace qvn::compression {
namespace {

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

MatchFinder::MatchFinder(unsigned maxChainDepth, std::uint32_t niceLength)
    : maxChainDepth_(maxChainDepth),
      niceLength_(niceLength),
      head_(std::size_t{1} << kHashBits),
      previous_(std::size_t{kWindowMask} + 1) {}

void MatchFinder::Reset(std::span<const std::uint8_t> data) {
  data_ = data;
  matchEnd_ = static_cast<std::uint32_t>(data.size());
  std::fill(head_.begin(), head_.end(), kNoPosition);
}

std::uint32_t MatchFinder::MatchLength(std::uint32_t earlier, std::uint32_t position,
                                       std::uint32_t limit) const {
  const std::uint8_t* a = data_.data() + earlier;
  const std::uint8_t* b = data_.data() + position;
  std::uint32_t length = 0;
  while (limit - length >= 8) {
    const std::uint64_t difference = Load64(a + length) ^ Load64(b + length);
    if (difference != 0) {
      // The first differing byte is the lowest one on a little-endian load.
      const int firstDifferentByte = (std::endian::native == std::endian::little)
                                         ? std::countr_zero(difference) / 8
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
Match MatchFinder::Search(std::uint32_t position, unsigned maxDepth, OnLonger onLonger) {
  const std::size_t remaining = data_.size() - position;
  if (remaining < 4) {
    return {};
  }
  const std::uint32_t hash = HashAt(position);
  std::uint32_t candidate = head_[hash];
  previous_[position & kWindowMask] = candidate;
  head_[hash] = position;

  if (position >= matchEnd_) {
    return {};
  }
  const std::uint32_t limit = matchEnd_ - position;
  const std::uint32_t wantedLength = std::min(niceLength_, limit);
  const std::uint8_t* const here = data_.data() + position;
  Match best;
  best.length = kMinLength - 1;
  // Links older than the window may have been overwritten by newer
  // positions: the distance check ends the walk before reaching them. A
  // distance of 0 wraps round and ends it too.
  for (unsigned depth = maxDepth; depth > 0; --depth) {
    if (position - candidate - 1 >= kMaxOffset) {
      break;
    }
    const std::uint8_t* const there = data_.data() + candidate;
    // Cheap rejection: a longer match must agree at the current best length.
    if (there[best.length] == here[best.length] && LoadLe32(there) == LoadLe32(here)) {
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
  return best.length >= kMinLength ? best : Match{};
}

Match MatchFinder::FindAndInsert(std::uint32_t position) {
  return Search(position, maxChainDepth_, [](const Match&) {});
}

Match MatchFinder::FindAndInsert(std::uint32_t position, unsigned maxDepth) {
  return Search(position, maxDepth, [](const Match&) {});
}

void MatchFinder::FindAllAndInsert(std::uint32_t position, std::vector<Match>& matches) {
  Search(position, maxChainDepth_, [&](const Match& match) { matches.push_back(match); });
}

}  // namespace qvn::compression
