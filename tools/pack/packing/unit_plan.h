#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "compression/chunk_encoder.h"
#include "tools/pack/packing/pack_input.h"

namespace qvn::pack {

// One chunk of one file: its record is made from those of its segments.
struct Chunk {
  std::size_t file;  // an index into the files
  std::uint64_t offset;
  std::size_t size;
  std::size_t firstSegment;  // into the segments
  std::size_t segmentCount;
};

// One segment of one chunk, encoded on its own.
struct Segment {
  std::size_t chunk;
  std::uint32_t from;  // within the chunk
  std::uint32_t to;
};

// What a worker is given at once: one segment, or several small files
// whole (one segment each), which would cost more to hand over one by one
// than to encode.
struct Unit {
  std::size_t firstSegment;
  std::size_t segmentCount;
};

// The files cut, in stored order (ascending byte order of their stored
// names), into chunks, segments and units. Made once, then only read, by
// any thread.
struct UnitPlan {
  std::vector<std::size_t> order;  // indices into the files, in stored order
  std::vector<Chunk> chunks;       // in stored order, each file's in order
  std::vector<Segment> segments;   // in the same order
  std::vector<Unit> units;         // in the same order

  UnitPlan(const std::vector<PackFileInfo>& files, compression::Level level);

  std::span<const Segment> SegmentsOf(const Unit& unit) const {
    return std::span(segments).subspan(unit.firstSegment, unit.segmentCount);
  }
  std::span<const Segment> SegmentsOf(const Chunk& chunk) const {
    return std::span(segments).subspan(chunk.firstSegment, chunk.segmentCount);
  }
};

// Where a segment's window (the bytes before it that its matches may reach,
// the segment, and those after it that its encoder reads ahead) starts and
// ends in its chunk.
std::size_t WindowBegin(std::uint32_t from);
std::size_t WindowEnd(const Segment& segment, std::size_t chunkSize);

}  // namespace qvn::pack
