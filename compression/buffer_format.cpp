#include "compression/buffer_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "compression/byte_order.h"
#include "compression/crc32.h"
#include "compression/lz_decoder.h"
#include "compression/lz_encoder.h"

namespace qvn::compression {
namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {0x0A, 0x51, 0xE5, 0xC0};
constexpr std::uint8_t kAlgorithmXpressHuffman = 4;
constexpr std::size_t kCheckByteOffset = 6;
constexpr std::size_t kChunkRecordHeaderSize = 4;

// The check byte is the low byte of the CRC-32 of the header without it.
std::uint8_t HeaderCheckByte(const std::uint8_t* header) {
  const std::uint32_t crc = Crc32(std::span(header + kCheckByteOffset + 1,
                                            kBufferHeaderSize - kCheckByteOffset - 1),
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

}  // namespace

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  // Heap, not stack: the tables are too big for some threads' stacks.
  const auto tables = std::make_unique<HuffmanDecoder>();
  return DecodeBuffer(input, output, *tables);
}

DecodeResult DecodeBuffer(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                          HuffmanDecoder& tables) {
  constexpr DecodeResult kUnreadable{DecodeStatus::kBadData, 0, 0};
  if (input.size() < kBufferHeaderSize) {
    return kUnreadable;
  }
  const std::uint8_t* const header = input.data();
  if (std::memcmp(header, kMagic.data(), kMagic.size()) != 0 ||
      LoadLe16(header + 4) != kBufferHeaderSize || header[7] != kAlgorithmXpressHuffman ||
      header[kCheckByteOffset] != HeaderCheckByte(header)) {
    return kUnreadable;
  }
  const std::uint64_t expandedSize = LoadLe64(header + 8);
  const std::uint32_t chunkSize = LoadLe32(header + 16);
  const DecodeResult damaged{DecodeStatus::kBadData, 0, expandedSize};
  if (LoadLe32(header + 20) != 0 || chunkSize > kBufferChunkSize ||
      (expandedSize != 0 && chunkSize == 0)) {
    return damaged;
  }
  if (expandedSize > output.size()) {
    return {DecodeStatus::kBufferTooSmall, 0, expandedSize};
  }

  std::span<const std::uint8_t> rest = input.subspan(kBufferHeaderSize);
  std::uint64_t produced = 0;
  while (produced < expandedSize) {
    const std::size_t chunkExpanded =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, expandedSize - produced));
    if (rest.size() < kChunkRecordHeaderSize) {
      return damaged;
    }
    const std::uint32_t storedSize = LoadLe32(rest.data());
    rest = rest.subspan(kChunkRecordHeaderSize);
    if (rest.size() < storedSize) {
      return damaged;
    }
    const std::span<const std::uint8_t> stored = rest.first(storedSize);
    const std::span<std::uint8_t> target =
        output.subspan(static_cast<std::size_t>(produced), chunkExpanded);
    if (storedSize == chunkExpanded) {
      std::memcpy(target.data(), stored.data(), storedSize);
    } else if (!DecodeLzHuffman(stored, target, tables)) {
      return damaged;
    }
    rest = rest.subspan(storedSize);
    produced += chunkExpanded;
  }
  // Bytes after the last record mean the stream is not what its header says.
  if (!rest.empty()) {
    return damaged;
  }
  return {DecodeStatus::kOk, expandedSize, expandedSize};
}

std::vector<std::uint8_t> EncodeBuffer(std::span<const std::uint8_t> input, Level level) {
  std::vector<std::uint8_t> stream(kBufferHeaderSize);
  WriteHeader(input.size(), stream.data());

  LzEncoder encoder(level);
  std::vector<std::uint8_t> compressed;
  for (std::size_t start = 0; start < input.size(); start += kBufferChunkSize) {
    const std::span<const std::uint8_t> chunk =
        input.subspan(start, std::min<std::size_t>(kBufferChunkSize, input.size() - start));
    // A chunk is stored raw unless its stream comes out strictly smaller: a
    // stored size equal to the expanded size is what marks a raw chunk.
    const bool packed = encoder.Encode(chunk, compressed) && compressed.size() < chunk.size();
    const std::span<const std::uint8_t> record = packed ? std::span<const std::uint8_t>(compressed) : chunk;
    const std::size_t recordStart = stream.size();
    stream.resize(recordStart + kChunkRecordHeaderSize + record.size());
    StoreLe32(stream.data() + recordStart, static_cast<std::uint32_t>(record.size()));
    std::memcpy(stream.data() + recordStart + kChunkRecordHeaderSize, record.data(), record.size());
  }
  return stream;
}

}  // namespace qvn::compression
