// Generated test data for the codec's tests: the same seed gives the same
// bytes.
#pragma once

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace qvn::compression {

using Bytes = std::vector<std::uint8_t>;

// Words from a small vocabulary: compresses like prose.
inline Bytes Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",     "launcher ", "unpacks ", "a ",      "game ",  "into ",   "its ",
                                       "runtime ", "folder, ",  "and ",     "checks ", "every ", "file.\n", "Quorvane ",
                                       "starts ",  "when ",     "all ",     "is ",     "well. "};
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < size) {
    const std::string word = kWords[random() % std::size(kWords)];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(size);
  return bytes;
}

// Executable-like: small integers, counters, zero padding, some noise.
inline Bytes Binary(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes;
  auto counter = static_cast<std::uint32_t>(random());
  while (bytes.size() < size) {
    switch (random() % 4) {
      case 0:
        counter += 4;
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(counter >> (8 * i)));
        break;
      case 1:
        bytes.insert(bytes.end(), random() % 24, 0);
        break;
      case 2:
        bytes.push_back(static_cast<std::uint8_t>(random() % 16));
        break;
      default:
        bytes.push_back(static_cast<std::uint8_t>(random()));
    }
  }
  bytes.resize(size);
  return bytes;
}

inline Bytes Noise(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Text, binary and noise in turn, in pieces of varying size.
inline Bytes Mixed(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < size) {
    const std::size_t piece = 256 + random() % 8192;
    const Bytes part = random() % 3 == 0   ? Text(piece, static_cast<std::uint32_t>(random()))
                       : random() % 2 == 0 ? Binary(piece, static_cast<std::uint32_t>(random()))
                                           : Noise(piece / 8, static_cast<std::uint32_t>(random()));
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace qvn::compression
