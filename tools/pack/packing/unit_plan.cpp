#include "tools/pack/packing/unit_plan.h"

#include <algorithm>
#include <numeric>

#include "compression/buffer_format.h"
#include "compression/lz_encoder.h"

namespace qvn::pack {
namespace {

// Small files go together into units of up to this many bytes.
constexpr std::size_t kSmallFilesPerUnit = 512 * 1024;

std::vector<std::size_t> StoredOrder(const std::vector<PackFileInfo>& files) {
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&files](std::size_t a, std::size_t b) { return files[a].storedName < files[b].storedName; });
  return order;
}

}  // namespace

UnitPlan::UnitPlan(const std::vector<PackFileInfo>& files, compression::Level level) : order(StoredOrder(files)) {
  const std::uint32_t segmentSize = compression::LzEncoder::SegmentSize(level);
  std::size_t smallBytes = kSmallFilesPerUnit;  // in the last unit, if it holds small files
  for (const std::size_t file : order) {
    const std::uint64_t fileSize = files[file].size;
    if (fileSize == 0) continue;
    if (fileSize < kSmallFilesPerUnit) {
      if (smallBytes + fileSize > kSmallFilesPerUnit) {
        units.push_back({segments.size(), 0});
        smallBytes = 0;
      }
      smallBytes += fileSize;
      ++units.back().segmentCount;
      const auto size = static_cast<std::uint32_t>(fileSize);
      chunks.push_back({file, 0, size, segments.size(), 1});
      segments.push_back({chunks.size() - 1, 0, size});
      continue;
    }
    smallBytes = kSmallFilesPerUnit;
    for (std::uint64_t offset = 0; offset < fileSize; offset += compression::kBufferChunkSize) {
      const auto size = static_cast<std::uint32_t>(std::min(compression::kBufferChunkSize, fileSize - offset));
      const std::size_t firstSegment = segments.size();
      for (std::uint32_t from = 0; from < size; from += std::min(segmentSize, size - from)) {
        units.push_back({segments.size(), 1});
        segments.push_back({chunks.size(), from, from + std::min(segmentSize, size - from)});
      }
      chunks.push_back({file, offset, size, firstSegment, segments.size() - firstSegment});
    }
  }
}

std::size_t WindowBegin(std::uint32_t from) { return from - std::min(from, compression::LzEncoder::kSegmentHistory); }

std::size_t WindowEnd(const Segment& segment, std::size_t chunkSize) {
  return std::min<std::size_t>(chunkSize, std::size_t{segment.to} + compression::LzEncoder::kSegmentReadAhead);
}

}  // namespace qvn::pack
