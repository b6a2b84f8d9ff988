#include "compression/chunk_by_chunk_decode.h"

#include "compression/buffer_stream_reader.h"
#include "compression/lz_decoder.h"

namespace qvn::compression {

DecodeResult DecodeBufferChunkByChunk(std::span<const std::uint8_t> input, std::uint64_t capacity,
                                      std::span<std::uint8_t> scratch, HuffmanDecoder& tables, const ChunkSink& take) {
  const BufferStreamReader stream(input, capacity);
  if (stream.failure()) return *stream.failure();
  const bool decoded =
      stream.ForEachChunk([&](std::size_t, std::span<const std::uint8_t> stored, std::size_t, std::size_t length) {
        if (stored.size() == length) {
          take(stored);
          return true;
        }
        if (length > scratch.size() || !DecodeLzHuffman(stored, scratch.first(length), tables)) return false;
        take(scratch.first(length));
        return true;
      });
  if (!decoded) return {DecodeStatus::kBadData, 0, stream.expandedSize()};
  return {DecodeStatus::kOk, stream.expandedSize(), stream.expandedSize()};
}

}  // namespace qvn::compression
