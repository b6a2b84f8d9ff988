#include "tools/pack/packing/segment_encoder.h"

namespace qvn::pack {

void EncodingProgress::Add(std::uint64_t bytes) {
  if (!progress_ || bytes == 0) return;
  const std::lock_guard lock(mutex_);
  done_ += bytes;
  progress_(done_, total_);
}

void SegmentEncoder::Work(std::size_t index) {
  if (!encoder_) encoder_ = std::make_unique<compression::ChunkEncoder>(level_);
  const Unit& unit = plan_.units[index];
  const UnitInput& input = inputs_[index];
  for (std::size_t i = 0; i < unit.segmentCount; ++i) {
    const Segment& segment = plan_.segments[unit.firstSegment + i];
    const SegmentWindow& window = input.windows[i];
    const std::uint32_t size = segment.to - segment.from;
    std::size_t told = 0;
    const std::span<const std::uint8_t> stream =
        encoder_->EncodeSegment(window.bytes, window.history, window.history + size, [&](std::size_t bytes) {
          told += bytes;
          progress_.Add(bytes);
        });
    EncodedSegment& encoded = encoded_[unit.firstSegment + i];
    encoded.stream.assign(stream.begin(), stream.end());
    if (stream.empty() || stream.size() >= size) {
      const std::span<const std::uint8_t> bytes = window.Segment(size);
      encoded.raw.assign(bytes.begin(), bytes.end());
    }
    // A segment given up as incompressible stops before its last block.
    progress_.Add(size - told);
    records_.SegmentDone(unit.firstSegment + i, encoded_);
  }
}

}  // namespace qvn::pack
