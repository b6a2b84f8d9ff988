// The decoder on any bytes: it must return a result that fits the output it
// was given, and never read or write outside its spans (ASan watches the
// exactly-sized buffers).
//
// Input: 3 bytes of set-up, then the stream. The set-up gives the output
// capacity (18 bits) and, in its top bit, whether the stream is a raw
// LZ77+Huffman chunk (reached directly, past the header's check byte) or a
// whole buffer-mode stream.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/huffman_decoder.h"
#include "compression/lz_decoder.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::compression;
  if (size < 3) return 0;
  const std::size_t capacity = data[0] | (data[1] << 8) | ((data[2] & 0x03) << 16);
  const bool raw = (data[2] & 0x80) != 0;
  // A copy of exactly the stream's size, so that reading past it is caught.
  const std::vector<std::uint8_t> stream(data + 3, data + size);
  std::vector<std::uint8_t> output(capacity);

  if (raw) {
    const auto tables = std::make_unique<HuffmanDecoder>();
    DecodeLzHuffman(stream, output, *tables);
    return 0;
  }
  const DecodeResult result = DecodeBuffer(stream, output);
  switch (result.status) {
    case DecodeStatus::kOk:
      Require(result.produced == result.required && result.produced <= capacity);
      break;
    case DecodeStatus::kBufferTooSmall:
      Require(result.required > capacity && result.produced == 0);
      break;
    case DecodeStatus::kBadData:
      Require(result.produced == 0);
      break;
  }
  return 0;
}
