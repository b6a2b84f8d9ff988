// The decoder on any bytes: it must return a result that fits the output it
// was given, and never read or write outside its spans (ASan watches the
// exactly-sized buffers). A raw chunk is also decoded by a plain reference
// that follows the format bit by bit; both must give the same verdict and,
// on success, the same bytes.
//
// Input: 3 bytes of set-up, then the stream. The set-up gives the output
// capacity (18 bits) and, in its top bit, whether the stream is a raw
// LZ77+Huffman chunk (reached directly, past the header's check byte) or a
// whole buffer-mode stream.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "compression/huffman_decoder.h"
#include "compression/lz_decoder.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using qvn::fuzz::Require;

// The format read literally: one bit at a time from a 32-bit register fed
// with 16-bit little-endian words, length bytes from the byte position, a
// linear search of the canonical code. Slow, and simple enough to trust.
class ReferenceDecoder {
 public:
  ReferenceDecoder(std::span<const std::uint8_t> input, std::span<std::uint8_t> output)
      : input_(input), output_(output) {}

  bool Decode() {
    std::size_t written = 0;
    while (written < output_.size()) {
      if (input_.size() - position_ < 256) return false;
      std::array<int, 512> lengths;
      for (std::size_t i = 0; i < 512; ++i) lengths[i] = (input_[position_ + i / 2] >> (4 * (i % 2))) & 15;
      position_ += 256;
      if (!IsCompleteCode(lengths)) return false;
      SortSymbols(lengths);
      bits_ = 0;
      available_ = 0;
      missing_ = 0;
      LoadWord();
      LoadWord();
      const std::size_t blockEnd = std::min(output_.size(), written + 65536);
      while (written < blockEnd) {
        int symbol = 0;
        if (!ReadSymbol(symbol)) return false;
        if (symbol < 256) {
          output_[written++] = static_cast<std::uint8_t>(symbol);
          continue;
        }
        const int offsetBits = (symbol - 256) >> 4;
        std::uint64_t length = ((symbol - 256) & 15) + 3;
        if (length == 18) {
          std::uint64_t extra = 0;
          if (!ReadBytes(1, extra)) return false;
          length = extra + 18;
          if (extra == 255) {
            if (!ReadBytes(2, extra)) return false;
            if (extra == 0 && !ReadBytes(4, extra)) return false;
            length = extra + 3;
          }
        }
        std::uint32_t offset = 1;
        for (int i = 0; i < offsetBits; ++i) {
          int bit = 0;
          if (!ReadBit(bit)) return false;
          offset = (offset << 1) | static_cast<std::uint32_t>(bit);
        }
        if (offset > written || length > output_.size() - written) return false;
        for (std::uint64_t i = 0; i < length; ++i, ++written) output_[written] = output_[written - offset];
      }
    }
    return true;
  }

 private:
  static bool IsCompleteCode(const std::array<int, 512>& lengths) {
    std::uint32_t space = 0;
    for (int length : lengths) space += length == 0 ? 0 : 1u << (15 - length);
    return space == 1u << 15;
  }

  // Canonical codes: by length, then by symbol. The codes of one length
  // are consecutive, starting where the shorter ones leave off.
  void SortSymbols(const std::array<int, 512>& lengths) {
    countOfLength_.fill(0);
    sorted_.clear();
    for (std::size_t length = 1; length <= 15; ++length) {
      for (std::size_t s = 0; s < 512; ++s) {
        if (lengths[s] == static_cast<int>(length)) {
          sorted_.push_back(static_cast<int>(s));
          ++countOfLength_[length];
        }
      }
    }
  }

  bool ReadSymbol(int& symbol) {
    std::uint32_t code = 0;
    std::uint32_t first = 0;
    std::uint32_t index = 0;
    for (std::size_t length = 1; length <= 15; ++length) {
      int bit = 0;
      if (!ReadBit(bit)) return false;
      code |= static_cast<std::uint32_t>(bit);
      if (code - first < countOfLength_[length]) {
        symbol = sorted_[index + code - first];
        return true;
      }
      index += countOfLength_[length];
      first = (first + countOfLength_[length]) << 1;
      code <<= 1;
    }
    return false;
  }

  bool ReadBit(int& bit) {
    if (missing_ >= available_) return false;
    bit = (bits_ >> 31) & 1;
    bits_ <<= 1;
    if (--available_ < 16) LoadWord();
    return true;
  }

  void LoadWord() {
    std::uint32_t word = 0;
    if (input_.size() - position_ >= 2) {
      word = std::uint32_t{input_[position_]} | (std::uint32_t{input_[position_ + 1]} << 8);
      position_ += 2;
    } else {
      position_ = input_.size();
      missing_ += 16;
    }
    bits_ |= word << (16 - available_);
    available_ += 16;
  }

  bool ReadBytes(std::size_t count, std::uint64_t& value) {
    if (input_.size() - position_ < count) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= std::uint64_t{input_[position_ + i]} << (8 * i);
    position_ += count;
    return true;
  }

  std::span<const std::uint8_t> input_;
  std::span<std::uint8_t> output_;
  std::array<std::uint32_t, 16> countOfLength_{};
  std::vector<int> sorted_;
  std::size_t position_ = 0;
  std::uint32_t bits_ = 0;
  unsigned available_ = 0;
  unsigned missing_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qvn::compression;
  if (size < 3) return 0;
  const std::size_t capacity =
      std::size_t{data[0]} | (std::size_t{data[1]} << 8) | (std::size_t{data[2] & 0x03u} << 16);
  const bool raw = (data[2] & 0x80) != 0;
  // A copy of exactly the stream's size, so that reading past it is caught.
  const std::vector<std::uint8_t> stream(data + 3, data + size);
  std::vector<std::uint8_t> output(capacity);

  if (raw) {
    const auto tables = std::make_unique<HuffmanDecoder>();
    const bool decoded = DecodeLzHuffman(stream, output, *tables);
    std::vector<std::uint8_t> expected(capacity);
    Require(decoded == ReferenceDecoder(stream, expected).Decode());
    Require(!decoded || output == expected);
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
