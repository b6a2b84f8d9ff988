// The platform's SHA-256 (OpenSSL natively, BCrypt under Wine) against
// known answers, whole and in parts.
#include "base/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/text_bytes.h"

namespace qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing::Text;

TEST(Sha256, KnownAnswers) {
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {Bytes(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(DigestHex(HashSha256(input)), expected) << input.size();
}

Bytes Noise(std::size_t size, unsigned seed) {
  std::mt19937 engine(seed);
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(engine());
  return bytes;
}

// Files of more than one chunk are hashed a chunk at a time.
TEST(Sha256Hasher, PartsGiveTheDigestOfTheWhole) {
  const Bytes data = Noise(200000, 9);
  const std::vector<std::vector<std::size_t>> splits = {{}, {0}, {1}, {64, 65}, {100000}, {3, 70000, 199999}};
  for (const std::vector<std::size_t>& cuts : splits) {
    Sha256Hasher hasher;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      hasher.Update(std::span(data).subspan(from, cut - from));
      from = cut;
    }
    hasher.Update(std::span(data).subspan(from));
    EXPECT_EQ(hasher.Finish(), HashSha256(data)) << cuts.size() << " cuts";
  }
}

}  // namespace
}  // namespace qvn
