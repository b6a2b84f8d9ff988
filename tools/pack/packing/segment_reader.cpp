#include "tools/pack/packing/segment_reader.h"

#include <algorithm>

namespace qvn::pack {

SegmentReader::SegmentReader(const UnitPlan& plan, const ReadFilePart& read)
    : plan_(plan), read_(read), inputs_(plan.units.size()) {}

void SegmentReader::Read(std::size_t index) {
  const std::span<const Segment> segments = plan_.SegmentsOf(plan_.units[index]);
  std::size_t size = 0;  // of all the unit's windows
  for (const Segment& segment : segments) {
    size += WindowEnd(segment, plan_.chunks[segment.chunk].size) - WindowBegin(segment.from);
  }
  UnitInput& input = inputs_[index];
  if (!idle_.empty()) {
    input = std::move(idle_.back());
    idle_.pop_back();
  }
  if (input.capacity < size) {
    input.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    input.capacity = size;
  }
  input.windows.clear();
  std::uint8_t* window = input.buffer.get();
  for (const Segment& segment : segments) {
    const Chunk& chunk = plan_.chunks[segment.chunk];
    if (segment.from == 0) carried_.clear();
    const std::size_t begin = WindowBegin(segment.from);
    const std::size_t end = WindowEnd(segment, chunk.size);
    std::copy(carried_.begin(), carried_.end(), window);
    // A short last segment may lie wholly in what the one before read.
    if (end - begin > carried_.size()) {
      read_(chunk.file, chunk.offset + begin + carried_.size(),
            std::span(window + carried_.size(), end - begin - carried_.size()));
    }
    input.windows.push_back({std::span(window, end - begin), static_cast<std::uint32_t>(segment.from - begin)});
    if (segment.to < chunk.size) carried_.assign(window + (WindowBegin(segment.to) - begin), window + (end - begin));
    window += end - begin;
  }
}

void SegmentReader::Release(std::size_t unit) {
  idle_.push_back(std::move(inputs_[unit]));
  inputs_[unit] = {};
}

}  // namespace qvn::pack
