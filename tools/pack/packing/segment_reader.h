#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "tools/pack/packing/unit_plan.h"

namespace qvn::pack {

// Fills `buffer` with the bytes of file `file` (an index into the list
// packed) from `offset` on. Called on one thread, each file's parts in order
// from its start, one file after the other.
using ReadFilePart = std::function<void(std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer)>;

// What the encoder of a segment reads: the segment, with the bytes before
// it that its matches may reach and those after it that it reads ahead.
struct SegmentWindow {
  std::span<const std::uint8_t> bytes;
  std::uint32_t history = 0;  // bytes before the segment

  std::span<const std::uint8_t> Segment(std::size_t size) const { return bytes.subspan(history, size); }
};

// The bytes read for one unit: a window per segment, one after the other in
// one buffer. Written by the reader before the unit goes to a worker, then
// only read until the unit is finished.
struct UnitInput {
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t capacity = 0;
  std::vector<SegmentWindow> windows;  // per segment of the unit
};

// Reads each unit's windows on the calling thread, in order, each byte
// once: what a segment's window shares with the one before it (the history
// before the segment, what that one read ahead) is carried over from that
// one's window. So all that is hashed and encoded agrees, whatever the file
// does meanwhile. A finished unit's buffer is kept for the next units: never
// more of them than units read at once.
class SegmentReader {
 public:
  SegmentReader(const UnitPlan& plan, const ReadFilePart& read);

  void Read(std::size_t unit);
  // Takes the unit's buffer back, its windows no longer used.
  void Release(std::size_t unit);

  // What workers may read of the units between Read and Release.
  std::span<const UnitInput> inputs() const { return inputs_; }

 private:
  const UnitPlan& plan_;
  const ReadFilePart& read_;
  std::vector<UnitInput> inputs_;  // per unit
  std::vector<UnitInput> idle_;
  std::vector<std::uint8_t> carried_;  // the next segment's first bytes
};

}  // namespace qvn::pack
