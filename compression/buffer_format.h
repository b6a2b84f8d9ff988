#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "compression/huffman_decoder.h"

namespace qvn::compression {

class ChunkDecodeThread;

// The Windows Compression API's buffer mode for XPRESS Huffman: a 24-byte
// header, then one record per chunk (a 32-bit stored size and that many
// bytes, stored raw when the stored size equals the chunk's expanded size,
// otherwise one raw LZ77+Huffman stream).

inline constexpr std::size_t kBufferHeaderSize = 24;
inline constexpr std::uint64_t kBufferChunkSize = 0x4000000;  // 64 MiB
inline constexpr std::size_t kChunkRecordHeaderSize = 4;      // the stored size

enum class DecodeStatus { kOk, kBadData, kBufferTooSmall };

struct DecodeResult {
  DecodeStatus status;
  std::uint64_t produced;  // bytes written to the output (0 unless kOk)
  std::uint64_t required;  // the expanded size the header states (0 if unreadable)
};

// Decodes one whole buffer-mode stream into `output` (its capacity is
// output.size()). kBufferTooSmall when the header states more than the
// capacity; a stream that expands to less succeeds with produced below the
// capacity. Any bytes whatsoever give a result, never a read or write
// outside the two spans.
DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

// The same with caller-owned tables (about 80 KiB), for decoding many
// streams without allocating for each, and optionally a kept thread for the
// second half of the chunks (see ChunkDecodeThread).
DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& tables,
                          ChunkDecodeThread* second = nullptr);

// The 24-byte header of a stream that expands to `expandedSize` bytes.
std::array<std::uint8_t, kBufferHeaderSize> BufferHeader(std::uint64_t expandedSize);

enum class Level {
  kFast = 1,    // lazy matching over short hash chains: for 100+ MB games
  kStrong = 2,  // deeper chains and each block's cheapest path: slower
};

// Encodes `input` as one buffer-mode stream. The same input and level give
// the same bytes. An empty input gives the header alone.
std::vector<std::uint8_t> EncodeBuffer(std::span<const std::uint8_t> input, Level level = Level::kFast);

}  // namespace qvn::compression
