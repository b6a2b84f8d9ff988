#include "compression/chunk_by_chunk_decode.h"

#include "compression/buffer_stream_reader.h"
#include "compression/lz_decoder.h"

namespace qvn::compression {

bool ExpandChunkRecord(std::span<const std::uint8_t> stored, std::size_t length, std::span<std::uint8_t> scratch,
                       HuffmanDecoder& tables, const ChunkSink& take) {
  if (stored.size() == length) {
    take(stored);
    return true;
  }
  if (length > scratch.size()) return false;
  // What is handed over is final: later blocks only read it.
  std::size_t taken = 0;
  return DecodeLzHuffman(stored, scratch.first(length), tables, [&](std::size_t end) {
    take(scratch.subspan(taken, end - taken));
    taken = end;
  });
}

DecodeResult DecodeBufferChunkByChunk(std::span<const std::uint8_t> input, std::uint64_t capacity,
                                      std::span<std::uint8_t> scratch, HuffmanDecoder& tables, const ChunkSink& take) {
  const BufferStreamReader stream(input, capacity);
  if (stream.failure()) return *stream.failure();
  const bool decoded =
      stream.ForEachChunk([&](std::size_t, std::span<const std::uint8_t> stored, std::size_t, std::size_t length) {
        return ExpandChunkRecord(stored, length, scratch, tables, take);
      });
  if (!decoded) return {DecodeStatus::kBadData, 0, stream.expandedSize()};
  return {DecodeStatus::kOk, stream.expandedSize(), stream.expandedSize()};
}

}  // namespace qvn::compression
