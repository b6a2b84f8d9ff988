#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "compression/buffer_format.h"
#include "compression/huffman_decoder.h"

namespace qvn::compression {

// Receives a stream's output in order, a piece at a time.
using ChunkSink = std::function<void(std::span<const std::uint8_t> expanded)>;

// Decodes one buffer-mode stream as DecodeBuffer does into `capacity` bytes,
// with the same results, but a chunk at a time through `scratch` (at least
// ChunkScratchSize(capacity) bytes), handing the output to `take` as each
// block of it is decoded, while it is still in the cache: a stream of any
// size needs one chunk of memory. A chunk stored raw is handed over from
// `input` itself. When the result is not kOk, `take` has seen a prefix of
// the output at most.
DecodeResult DecodeBufferChunkByChunk(std::span<const std::uint8_t> input, std::uint64_t capacity,
                                      std::span<std::uint8_t> scratch, HuffmanDecoder& tables, const ChunkSink& take);

// One chunk record's output, as every decoder of a stream takes it, handed
// to `take` in order: the stored bytes themselves where there are `length`
// of them (stored raw), else those bytes decoded into `scratch` (at least
// `length` bytes), a block at a time. False where they do not decode to
// exactly `length` bytes; `take` has then seen a prefix at most.
bool ExpandChunkRecord(std::span<const std::uint8_t> stored, std::size_t length, std::span<std::uint8_t> scratch,
                       HuffmanDecoder& tables, const ChunkSink& take);

// The scratch that any stream decoded into `capacity` bytes needs.
constexpr std::uint64_t ChunkScratchSize(std::uint64_t capacity) {
  return capacity < kBufferChunkSize ? capacity : kBufferChunkSize;
}

}  // namespace qvn::compression
