// The encoder's code lengths: optimal where Huffman's fit in 15 bits, and
// always a complete code of at most 15 bits, which is all the decoder takes.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "compression/huffman_code_builder.h"

namespace qvn::compression {
namespace {

struct LengthCase {
  std::string name;
  std::vector<std::pair<std::size_t, std::uint32_t>> frequencies;  // symbol, count
  std::vector<std::pair<std::size_t, int>> lengths;                // symbol, expected length
};

Frequencies FrequenciesOf(const std::vector<std::pair<std::size_t, std::uint32_t>>& counts) {
  Frequencies frequencies{};
  for (const auto& [symbol, count] : counts) frequencies[symbol] = count;
  return frequencies;
}

TEST(CodeLengthsTest, SmallAlphabetsGetHuffmanLengths) {
  const std::vector<LengthCase> cases = {
      {"one symbol still gets a code", {{65, 10}}, {{0, 1}, {65, 1}}},
      {"one symbol, and it is symbol 0", {{0, 10}}, {{0, 1}, {1, 1}}},
      {"two symbols", {{3, 1}, {300, 1000}}, {{3, 1}, {300, 1}}},
      {"skewed", {{10, 1}, {11, 1}, {12, 2}, {13, 4}}, {{10, 3}, {11, 3}, {12, 2}, {13, 1}}},
      {"uniform four", {{0, 5}, {256, 5}, {257, 5}, {511, 5}}, {{0, 2}, {256, 2}, {257, 2}, {511, 2}}},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CodeLengths lengths = BuildCodeLengths(FrequenciesOf(c.frequencies));
    CodeLengths expected{};
    for (const auto& [symbol, length] : c.lengths) expected[symbol] = static_cast<std::uint8_t>(length);
    EXPECT_EQ(lengths, expected);
  }
}

std::uint64_t KraftSum(const CodeLengths& lengths) {
  std::uint64_t sum = 0;
  for (std::uint8_t length : lengths) {
    if (length != 0) sum += std::uint64_t{1} << (kMaxCodeLength - length);
  }
  return sum;
}

struct LimitCase {
  std::string name;
  Frequencies frequencies;
};

Frequencies Fibonacci(std::size_t count) {
  Frequencies frequencies{};
  std::uint32_t a = 1, b = 1;
  for (std::size_t symbol = 0; symbol < count; ++symbol) {
    frequencies[symbol] = a;
    const std::uint32_t next = a + b;
    a = b;
    b = next;
  }
  return frequencies;
}

Frequencies PowersOfTwo(std::size_t count, std::size_t firstSymbol) {
  Frequencies frequencies{};
  for (std::size_t i = 0; i < count; ++i) frequencies[firstSymbol + i] = 1u << i;
  return frequencies;
}

TEST(CodeLengthsTest, AnyFrequenciesGiveACompleteCodeOfAtMost15Bits) {
  Frequencies all{};
  all.fill(1);
  Frequencies oneCommon = all;
  oneCommon[256] = 1u << 30;
  Frequencies spread{};
  for (std::size_t symbol = 0; symbol < kSymbolCount; symbol += 3) {
    spread[symbol] = static_cast<std::uint32_t>(1 + symbol * symbol);
  }
  const std::vector<LimitCase> cases = {
      // Huffman would make codes 30 and more bits long.
      {"Fibonacci frequencies", Fibonacci(40)},
      {"powers of two", PowersOfTwo(31, 200)},
      {"powers of two and a crowd",
       [] {
         Frequencies f = PowersOfTwo(25, 0);
         for (std::size_t symbol = 300; symbol < 512; ++symbol) f[symbol] = 1;
         return f;
       }()},
      {"all 512 symbols once", all},
      {"one symbol dwarfs the rest", oneCommon},
      {"every third symbol", spread},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CodeLengths lengths = BuildCodeLengths(c.frequencies);
    for (std::size_t symbol = 0; symbol < kSymbolCount; ++symbol) {
      if (c.frequencies[symbol] != 0) {
        EXPECT_GE(lengths[symbol], 1) << "symbol " << symbol;
        EXPECT_LE(lengths[symbol], kMaxCodeLength) << "symbol " << symbol;
      } else {
        EXPECT_EQ(lengths[symbol], 0) << "symbol " << symbol;
      }
    }
    EXPECT_EQ(KraftSum(lengths), std::uint64_t{1} << kMaxCodeLength);
  }
}

TEST(CodeLengthsTest, CanonicalCodesFollowLengthThenSymbol) {
  CodeLengths lengths{};
  lengths[5] = 2;
  lengths[1] = 3;
  lengths[300] = 1;
  lengths[2] = 3;
  const auto codes = AssignCanonicalCodes(lengths);
  // Shortest first; among equal lengths, the lower symbol first.
  EXPECT_EQ(codes[300], 0b0);
  EXPECT_EQ(codes[5], 0b10);
  EXPECT_EQ(codes[1], 0b110);
  EXPECT_EQ(codes[2], 0b111);
}

}  // namespace
}  // namespace qvn::compression
