#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "compression/buffer_format.h"
#include "compression/huffman_decoder.h"

namespace qvn::compression {

// Receives a stream's output a chunk at a time, in order.
using ChunkSink = std::function<void(std::span<const std::uint8_t> expanded)>;

// Decodes one buffer-mode stream as DecodeBuffer does into `capacity` bytes,
// with the same results, but a chunk at a time through `scratch` (at least
// ChunkScratchSize(capacity) bytes), handing each chunk's output to `take`:
// a stream of any size needs one chunk of memory. A chunk stored raw is
// handed over from `input` itself. When the result is not kOk, `take` has
// seen a prefix of the output at most.
DecodeResult DecodeBufferChunkByChunk(std::span<const std::uint8_t> input, std::uint64_t capacity,
                                      std::span<std::uint8_t> scratch, HuffmanDecoder& tables, const ChunkSink& take);

// The scratch that any stream decoded into `capacity` bytes needs.
constexpr std::uint64_t ChunkScratchSize(std::uint64_t capacity) {
  return capacity < kBufferChunkSize ? capacity : kBufferChunkSize;
}

}  // namespace qvn::compression
