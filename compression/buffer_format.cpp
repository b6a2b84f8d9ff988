#include "compression/buffer_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "base/byte_order.h"
#include "compression/buffer_stream_reader.h"
#include "compression/chunk_decode_thread.h"
#include "compression/chunk_encoder.h"
#include "compression/crc32.h"
#include "compression/lz_decoder.h"

namespace qvn::compression {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {0x0A, 0x51, 0xE5, 0xC0};
constexpr std::uint8_t kAlgorithmXpressHuffman = 4;
constexpr std::size_t kCheckByteOffset = 6;

// The check byte is the low byte of the CRC-32 of the header without it.
std::uint8_t HeaderCheckByte(const std::uint8_t* header) {
  const std::uint32_t crc = Crc32(std::span(header + kCheckByteOffset + 1, kBufferHeaderSize - kCheckByteOffset - 1),
                                  Crc32(std::span(header, kCheckByteOffset)));
  return static_cast<std::uint8_t>(crc);
}

void WriteHeader(std::uint64_t expandedSize, std::uint8_t* header) {
  std::memcpy(header, kMagic.data(), kMagic.size());
  StoreLe16(header + 4, static_cast<std::uint16_t>(kBufferHeaderSize));
  header[7] = kAlgorithmXpressHuffman;
  StoreLe64(header + 8, expandedSize);
  StoreLe32(header + 16, static_cast<std::uint32_t>(std::min(expandedSize, kBufferChunkSize)));
  StoreLe32(header + 20, 0);
  header[kCheckByteOffset] = HeaderCheckByte(header);
}

// Chunks are independent streams, so one of more than one chunk (a file
// over 64 MiB) is decoded on two threads, each taking every other record
// with its own tables: on `second` where given, else on a thread started
// for this stream; where none can be had, on this one alone.
class WholeStreamDecode {
 public:
  WholeStreamDecode(const BufferStreamReader& stream, std::span<std::uint8_t> output)
      : stream_(stream), output_(output) {}

  bool DecodeAll(HuffmanDecoder& tables, ChunkDecodeThread* second) const {
    if (stream_.expandedSize() > stream_.chunkSize()) {
      try {
        std::optional<ChunkDecodeThread> own;
        if (second == nullptr) second = &own.emplace();
        second->Start([this](HuffmanDecoder& otherTables) { return Decode(1, 2, otherTables); });
        const bool decoded = Decode(0, 2, tables);
        return second->Finish() && decoded;
      } catch (const std::system_error&) {
      } catch (const std::bad_alloc&) {
      }
    }
    return Decode(0, 1, tables);
  }

 private:
  // Decodes the records whose index is `first` modulo `stride`.
  bool Decode(std::size_t first, std::size_t stride, HuffmanDecoder& tables) const {
    return stream_.ForEachChunk(
        [&](std::size_t index, std::span<const std::uint8_t> stored, std::size_t offset, std::size_t length) {
          if (index % stride != first) return true;
          const std::span<std::uint8_t> target = output_.subspan(offset, length);
          if (stored.size() == length) {
            std::memcpy(target.data(), stored.data(), length);
            return true;
          }
          return DecodeLzHuffman(stored, target, tables);
        });
  }

  const BufferStreamReader& stream_;
  std::span<std::uint8_t> output_;
};

}  // namespace

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  // Heap, not stack: the tables are too big for some threads' stacks.
  const auto tables = std::make_unique<HuffmanDecoder>();
  return DecodeBuffer(input, output, *tables);
}

BufferStreamReader::BufferStreamReader(std::span<const std::uint8_t> input, std::uint64_t capacity) {
  if (input.size() < kBufferHeaderSize) {
    failure_ = DecodeResult{DecodeStatus::kBadData, 0, 0};
    return;
  }
  const std::uint8_t* const header = input.data();
  if (std::memcmp(header, kMagic.data(), kMagic.size()) != 0 || LoadLe16(header + 4) != kBufferHeaderSize ||
      header[7] != kAlgorithmXpressHuffman || header[kCheckByteOffset] != HeaderCheckByte(header)) {
    failure_ = DecodeResult{DecodeStatus::kBadData, 0, 0};
    return;
  }
  expandedSize_ = LoadLe64(header + 8);
  chunkSize_ = LoadLe32(header + 16);
  records_ = input.subspan(kBufferHeaderSize);
  if (LoadLe32(header + 20) != 0 || chunkSize_ > kBufferChunkSize || (expandedSize_ != 0 && chunkSize_ == 0)) {
    failure_ = DecodeResult{DecodeStatus::kBadData, 0, expandedSize_};
  } else if (expandedSize_ > capacity) {
    failure_ = DecodeResult{DecodeStatus::kBufferTooSmall, 0, expandedSize_};
  }
}

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& tables,
                          ChunkDecodeThread* second) {
  const BufferStreamReader stream(input, output.size());
  if (stream.failure()) return *stream.failure();
  const std::uint64_t expandedSize = stream.expandedSize();
  if (!WholeStreamDecode(stream, output.first(static_cast<std::size_t>(expandedSize))).DecodeAll(tables, second)) {
    return {DecodeStatus::kBadData, 0, expandedSize};
  }
  return {DecodeStatus::kOk, expandedSize, expandedSize};
}

std::array<std::uint8_t, kBufferHeaderSize> BufferHeader(std::uint64_t expandedSize) {
  std::array<std::uint8_t, kBufferHeaderSize> header{};
  WriteHeader(expandedSize, header.data());
  return header;
}

std::vector<std::uint8_t> EncodeBuffer(std::span<const std::uint8_t> input, Level level) {
  const std::array<std::uint8_t, kBufferHeaderSize> header = BufferHeader(input.size());
  std::vector<std::uint8_t> stream(header.begin(), header.end());
  ChunkEncoder encoder(level);
  for (std::size_t start = 0; start < input.size(); start += kBufferChunkSize) {
    encoder.AppendRecord(input.subspan(start, std::min<std::size_t>(kBufferChunkSize, input.size() - start)), stream);
  }
  return stream;
}

}  // namespace qvn::compression
