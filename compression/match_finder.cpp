#include "compression/match_finder.h"

#include <algorithm>

namespace qvn::compression {

MatchFinder::MatchFinder(unsigned maxChainDepth, std::uint32_t niceLength)
    : maxChainDepth_(maxChainDepth),
      niceLength_(niceLength),
      head_(std::size_t{1} << kHashBits),
      previous_(std::size_t{kWindowMask} + 1),
      shortHead_(std::size_t{1} << kShortHashBits) {}

void MatchFinder::Reset(std::span<const std::uint8_t> data) {
  data_ = data;
  matchEnd_ = static_cast<std::uint32_t>(data.size());
  std::fill(head_.begin(), head_.end(), kNoPosition);
  std::fill(shortHead_.begin(), shortHead_.end(), kNoPosition);
}

void MatchFinder::FindAllAndInsert(std::uint32_t position, std::vector<Match>& matches) {
  const std::size_t first = matches.size();
  std::uint32_t shortCandidate = 0;
  Search(
      position, maxChainDepth_, [&](const Match& match) { matches.push_back(match); }, shortCandidate);
  const std::uint32_t distance = ShortMatchDistance(position, shortCandidate);
  if (distance != 0 && (matches.size() == first || distance < matches[first].offset)) {
    matches.insert(matches.begin() + static_cast<std::ptrdiff_t>(first), Match{kMinMatchLength, distance});
  }
}

}  // namespace qvn::compression
