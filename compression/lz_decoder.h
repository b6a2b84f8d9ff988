#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "compression/huffman_decoder.h"

namespace qvn::compression {

// Decodes one raw LZ77+Huffman stream (one chunk) until `output` is full.
// Returns false if the stream is damaged: a table that is not a complete
// code, a match reaching before the start of `output` or past its end, or
// input that ends before `output` is full. Whatever follows the point where
// `output` became full is ignored. Never reads or writes outside the spans.
// `tables` is working space, rebuilt for every block.
bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& tables);

// The same for a stream that carries on from earlier output, such as one
// segment of a chunk: it fills output[start, end), and its matches may
// reach back into output[0, start).
bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, std::size_t start,
                     HuffmanDecoder& tables);

// Told after each block that output[0, end) is final: later matches only
// read it. So a caller can take the output while it is still in the cache.
using DecodedUpTo = std::function<void(std::size_t end)>;

// The first form, telling `decodedUpTo` as it goes.
bool DecodeLzHuffman(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& tables,
                     const DecodedUpTo& decodedUpTo);

// Where a decode stands between two blocks: the next block's table at
// input[consumed], its output from output[decoded].
struct LzBlockBoundary {
  std::size_t consumed = 0;
  std::size_t decoded = 0;
};

// Decodes a stream whose input is still arriving (a chunk whose segments
// are encoded one after another) as the whole stream decodes into `output`:
// on from `at`, block by block, moving `at` past each block that read only
// input before the end of `input` so far, and telling `decodedUpTo`. A
// block that fails or reads up to that end is left for a later call with
// more input. Once `complete`, every block counts, and false means the
// stream is damaged, as for the forms above.
bool DecodeLzHuffmanArriving(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, LzBlockBoundary& at,
                             bool complete, HuffmanDecoder& tables, const DecodedUpTo& decodedUpTo);

}  // namespace qvn::compression
