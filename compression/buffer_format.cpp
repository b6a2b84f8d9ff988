#include "compression/buffer_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "base/byte_order.h"
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

// The chunk records after the header, each with the part of the output it
// expands to.
class ChunkRecords {
 public:
  ChunkRecords(std::span<const std::uint8_t> records, std::uint32_t chunkSize, std::span<std::uint8_t> output)
      : records_(records), chunkSize_(chunkSize), output_(output) {}

  // Chunks are independent streams, so one of more than one chunk (a file
  // over 64 MiB) is decoded on two threads, each taking every other record
  // with its own tables: on `second` where given, else on a thread started
  // for this stream; where none can be had, on this one alone.
  bool DecodeAll(HuffmanDecoder& tables, ChunkDecodeThread* second) const {
    if (output_.size() > chunkSize_) {
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
  // Calls visit(index, stored, target) for each record in turn, while it
  // returns true. False if a record is cut short, there are bytes after the
  // last one, or visit returned false.
  template <typename Visit>
  bool ForEach(Visit visit) const {
    std::span<const std::uint8_t> rest = records_;
    std::size_t index = 0;
    for (std::size_t produced = 0; produced < output_.size(); ++index) {
      const std::size_t chunkExpanded = std::min<std::size_t>(chunkSize_, output_.size() - produced);
      if (rest.size() < kChunkRecordHeaderSize) {
        return false;
      }
      const std::uint32_t storedSize = LoadLe32(rest.data());
      rest = rest.subspan(kChunkRecordHeaderSize);
      if (rest.size() < storedSize || !visit(index, rest.first(storedSize), output_.subspan(produced, chunkExpanded))) {
        return false;
      }
      rest = rest.subspan(storedSize);
      produced += chunkExpanded;
    }
    // Bytes after the last record mean the stream is not what its header says.
    return rest.empty();
  }

  // Decodes the records whose index is `first` modulo `stride`; a record
  // whose stored size is its expanded size is stored raw.
  bool Decode(std::size_t first, std::size_t stride, HuffmanDecoder& tables) const {
    return ForEach([&](std::size_t index, std::span<const std::uint8_t> stored, std::span<std::uint8_t> target) {
      if (index % stride != first) {
        return true;
      }
      if (stored.size() == target.size()) {
        std::memcpy(target.data(), stored.data(), stored.size());
        return true;
      }
      return DecodeLzHuffman(stored, target, tables);
    });
  }

  std::span<const std::uint8_t> records_;
  std::uint32_t chunkSize_;
  std::span<std::uint8_t> output_;  // as much as the header states
};

}  // namespace

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  // Heap, not stack: the tables are too big for some threads' stacks.
  const auto tables = std::make_unique<HuffmanDecoder>();
  return DecodeBuffer(input, output, *tables);
}

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output, HuffmanDecoder& tables,
                          ChunkDecodeThread* second) {
  constexpr DecodeResult kUnreadable{DecodeStatus::kBadData, 0, 0};
  if (input.size() < kBufferHeaderSize) {
    return kUnreadable;
  }
  const std::uint8_t* const header = input.data();
  if (std::memcmp(header, kMagic.data(), kMagic.size()) != 0 || LoadLe16(header + 4) != kBufferHeaderSize ||
      header[7] != kAlgorithmXpressHuffman || header[kCheckByteOffset] != HeaderCheckByte(header)) {
    return kUnreadable;
  }
  const std::uint64_t expandedSize = LoadLe64(header + 8);
  const std::uint32_t chunkSize = LoadLe32(header + 16);
  const DecodeResult damaged{DecodeStatus::kBadData, 0, expandedSize};
  if (LoadLe32(header + 20) != 0 || chunkSize > kBufferChunkSize || (expandedSize != 0 && chunkSize == 0)) {
    return damaged;
  }
  if (expandedSize > output.size()) {
    return {DecodeStatus::kBufferTooSmall, 0, expandedSize};
  }

  const ChunkRecords records(input.subspan(kBufferHeaderSize), chunkSize,
                             output.first(static_cast<std::size_t>(expandedSize)));
  if (!records.DecodeAll(tables, second)) {
    return damaged;
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
