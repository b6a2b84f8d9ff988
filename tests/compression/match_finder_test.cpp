// The match finder, searching without a depth limit, against a brute-force
// search of every earlier position.

#include "compression/match_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "compression/xpress_huffman_format.h"
#include "tests/compression/test_data.h"

namespace qvn::compression {
namespace {

// Every match at `position` longer than all nearer ones, nearest first; a
// match of 3 counts only up to kMaxShortOffset back.
std::vector<Match> LongerThanAllNearer(const Bytes& data, std::uint32_t position, std::uint32_t end) {
  std::vector<Match> found;
  std::uint32_t best = kMinMatchLength - 1;
  for (std::uint32_t distance = 1; distance <= std::min(position, kMaxOffset); ++distance) {
    // Only a match that agrees at index `best` can be longer.
    if (position + best < end && data[position - distance + best] != data[position + best]) continue;
    std::uint32_t length = 0;
    while (position + length < end && data[position - distance + length] == data[position + length]) ++length;
    if (length > best && (length > kMinMatchLength || distance <= MatchFinder::kMaxShortOffset)) {
      found.push_back({length, distance});
      best = length;
    }
    if (position + length == end) break;
  }
  return found;
}

// A run of zeros with two matches of exactly 3 planted in it: one as far
// back as such a match may reach, one a byte further.
Bytes RunWithFarShortMatches() {
  Bytes bytes(9000, 0);
  const std::pair<std::uint32_t, std::uint32_t> kPlanted[] = {{MatchFinder::kMaxShortOffset, 4596},
                                                              {MatchFinder::kMaxShortOffset + 1, 5598}};
  std::uint8_t value = 1;
  for (const auto& [distance, at] : kPlanted) {  // both searched below, not only recorded
    for (std::uint32_t i = 0; i < 3; ++i, ++value) bytes[at - distance + i] = bytes[at + i] = value;
    bytes[at + 3] = 0xFF;
  }
  return bytes;
}

TEST(MatchFinderTest, FindsWhatABruteForceSearchFinds) {
  for (const Bytes& data : {Text(5000, 3), Binary(5000, 4), RunWithFarShortMatches()}) {
    const auto end = static_cast<std::uint32_t>(data.size() - 100);  // as at a block's end
    MatchFinder all(1u << 20, 1u << 20);
    MatchFinder longest(1u << 20, 1u << 20);
    for (MatchFinder* finder : {&all, &longest}) {
      finder->Reset(data);
      finder->EndMatchesAt(end);
    }
    std::size_t shortExpected = 0;
    std::size_t shortMissing = 0;
    for (std::uint32_t position = 0; position < end; ++position) {
      if (position % 3 == 2) {  // recorded unsearched, as inside a match
        all.InsertRange(position, position + 1);
        longest.Insert(position);
        continue;
      }
      std::vector<Match> expected = LongerThanAllNearer(data, position, end);
      std::vector<Match> matches;
      all.FindAllAndInsert(position, matches);
      const Match found = longest.FindAndInsert(position, 1u << 20);
      // The table of short matches keeps one position per hash: a match of
      // 3 that another prefix displaced may be missing (rarely), nothing else.
      if (!expected.empty() && expected.front().length == kMinMatchLength) {
        ++shortExpected;
        if (matches.empty() || matches.front().length != kMinMatchLength) {
          ++shortMissing;
          expected.erase(expected.begin());
        }
      }
      ASSERT_EQ(matches.size(), expected.size()) << "position " << position;
      for (std::size_t i = 0; i < matches.size(); ++i) {
        EXPECT_EQ(matches[i].length, expected[i].length) << "position " << position;
        EXPECT_EQ(matches[i].offset, expected[i].offset) << "position " << position;
      }
      const Match wanted = matches.empty() ? Match{} : matches.back();
      EXPECT_EQ(found.length, wanted.length) << "position " << position;
      EXPECT_EQ(found.offset, wanted.offset) << "position " << position;
    }
    EXPECT_LE(shortMissing * 50, shortExpected);
  }
}

}  // namespace
}  // namespace qvn::compression
