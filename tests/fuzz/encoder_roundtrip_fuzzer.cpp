// Whatever the input, the encoder's stream at each level decodes back to
// it, and the same input and level give the same stream.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "tests/fuzz/fuzz_require.h"

using qvn::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::compression;
  const std::span<const std::uint8_t> input(data, size);
  for (Level level : {Level::kFast, Level::kStrong}) {
    const std::vector<std::uint8_t> stream = EncodeBuffer(input, level);
    Require(stream == EncodeBuffer(input, level));
    // One byte of spare room: the stream must say exactly how much it holds.
    std::vector<std::uint8_t> output(size + 1);
    const DecodeResult result = DecodeBuffer(stream, output);
    Require(result.status == DecodeStatus::kOk && result.produced == size);
    Require(std::equal(input.begin(), input.end(), output.begin()));
  }
  return 0;
}
