#include "tools/pack/payload_builder.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>

#include "compression/chunk_encoder.h"
#include "payload/payload_container_writer.h"
#include "tools/pack/pack_refusal.h"
#include "tools/pack/pack_rules.h"
#include "tools/pack/sha256_hash.h"
#include "tools/pack/worker_pool.h"

namespace qvn::pack {
namespace {

// One chunk of one file, read whole into a buffer and held until all its
// segments are encoded.
struct Chunk {
  std::size_t file;
  std::uint64_t offset;
  std::size_t size;
  std::size_t firstUnit;  // its segments are units firstUnit onwards
  std::size_t unitCount;
};

// One segment of one chunk: what a worker encodes.
struct Unit {
  std::size_t chunk;
  std::uint32_t from;  // within the chunk
  std::uint32_t to;
};

struct ChunkState {
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t capacity = 0;
  std::span<const std::uint8_t> input;
  std::size_t unitsLeft = 0;
  std::vector<std::vector<std::uint8_t>> segments;
  std::vector<std::uint8_t> record;
};

struct UnitState {
  std::unique_ptr<compression::ChunkEncoder> encoder;
};

// Cuts the files, in stored order, into chunks and their segments.
void CutIntoUnits(const std::vector<PackFileInfo>& files, const std::vector<std::size_t>& order,
                  compression::Level level, std::vector<Chunk>& chunks, std::vector<Unit>& units) {
  const std::uint32_t segmentSize = compression::LzEncoder::SegmentSize(level);
  for (const std::size_t file : order) {
    for (std::uint64_t offset = 0; offset < files[file].size; offset += compression::kBufferChunkSize) {
      const auto size = static_cast<std::uint32_t>(std::min(compression::kBufferChunkSize, files[file].size - offset));
      const std::size_t firstUnit = units.size();
      for (std::uint32_t from = 0; from < size; from += std::min(segmentSize, size - from)) {
        units.push_back({chunks.size(), from, from + std::min(segmentSize, size - from)});
      }
      chunks.push_back({file, offset, size, firstUnit, units.size() - firstUnit});
    }
  }
}

std::vector<std::size_t> StoredOrder(const std::vector<PackFileInfo>& files) {
  std::vector<std::size_t> order(files.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&files](std::size_t a, std::size_t b) { return files[a].storedName < files[b].storedName; });
  return order;
}

}  // namespace

std::vector<std::uint8_t> BuildPayloadFromParts(const std::vector<PackFileInfo>& files, const ReadFilePart& read,
                                                compression::Level level, const PackProgress& progress,
                                                unsigned jobs) {
  std::vector<PackProblem> problems = FindPackProblems(files);
  if (!problems.empty()) throw PackRefused(std::move(problems));

  const std::vector<std::size_t> order = StoredOrder(files);
  std::vector<Chunk> chunks;
  std::vector<Unit> units;
  CutIntoUnits(files, order, level, chunks, units);
  std::vector<ChunkState> chunkStates(chunks.size());
  std::vector<UnitState> unitStates(units.size());
  // Buffers and encoders go back here when done with, for the next ones:
  // never more of either than jobs.
  std::vector<std::unique_ptr<std::uint8_t[]>> idleBuffers;
  std::vector<std::size_t> idleCapacities;
  std::vector<std::unique_ptr<compression::ChunkEncoder>> idleEncoders;
  std::vector<Sha256Hash> digests(files.size(), HashSha256({}));
  Sha256Hasher hasher;  // of the file being read, across its chunks

  std::uint64_t total = 0;
  for (const PackFileInfo& file : files) total += file.size;
  // Bytes encoded so far across all workers, told as each block is done.
  std::mutex progressMutex;
  std::uint64_t done = 0;
  const auto advance = [&](std::uint64_t bytes) {
    if (!progress || bytes == 0) return;
    const std::lock_guard lock(progressMutex);
    done += bytes;
    progress(done, total);
  };

  // Reading stays on this thread, in order, a chunk at its first segment.
  // Hashing too, but while the segment's worker encodes it: a file is
  // hashed in order, and no segment waits for its hash.
  const auto prepare = [&](std::size_t index) {
    const Unit& unit = units[index];
    if (idleEncoders.empty()) idleEncoders.push_back(std::make_unique<compression::ChunkEncoder>(level));
    unitStates[index].encoder = std::move(idleEncoders.back());
    idleEncoders.pop_back();
    if (unit.from != 0) return;
    const Chunk& chunk = chunks[unit.chunk];
    ChunkState& state = chunkStates[unit.chunk];
    if (!idleBuffers.empty()) {
      state.buffer = std::move(idleBuffers.back());
      state.capacity = idleCapacities.back();
      idleBuffers.pop_back();
      idleCapacities.pop_back();
    }
    if (state.capacity < chunk.size) {
      state.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(chunk.size);
      state.capacity = chunk.size;
    }
    state.input = read(chunk.file, chunk.offset, std::span(state.buffer.get(), chunk.size));
    state.unitsLeft = chunk.unitCount;
    state.segments.resize(chunk.unitCount);
  };
  const auto hash = [&](std::size_t index) {
    const Unit& unit = units[index];
    const Chunk& chunk = chunks[unit.chunk];
    const std::span<const std::uint8_t> input = chunkStates[unit.chunk].input.subspan(unit.from, unit.to - unit.from);
    const std::uint64_t fileSize = files[chunk.file].size;
    const std::uint64_t start = chunk.offset + unit.from;
    if (start == 0 && input.size() == fileSize) {
      digests[chunk.file] = HashSha256(input);
      return;
    }
    if (start == 0) hasher = Sha256Hasher();
    hasher.Update(input);
    if (start + input.size() == fileSize) digests[chunk.file] = hasher.Finish();
  };
  const auto work = [&](std::size_t index) {
    const Unit& unit = units[index];
    ChunkState& state = chunkStates[unit.chunk];
    std::size_t told = 0;
    const std::span<const std::uint8_t> stream =
        unitStates[index].encoder->EncodeSegment(state.input, unit.from, unit.to, [&](std::size_t bytes) {
          told += bytes;
          advance(bytes);
        });
    // Each worker writes only its own segment's slot.
    state.segments[index - chunks[unit.chunk].firstUnit].assign(stream.begin(), stream.end());
    // A segment given up as incompressible stops before its last block.
    advance(unit.to - unit.from - told);
  };
  // The chunk's record once its last segment is in; a file's first record
  // starts with the stream header.
  const auto finish = [&](std::size_t index) {
    idleEncoders.push_back(std::move(unitStates[index].encoder));
    const Unit& unit = units[index];
    const Chunk& chunk = chunks[unit.chunk];
    ChunkState& state = chunkStates[unit.chunk];
    if (--state.unitsLeft > 0) return;
    if (chunk.offset == 0) {
      const auto header = compression::BufferHeader(files[chunk.file].size);
      state.record.assign(header.begin(), header.end());
    }
    compression::ChunkEncoder::AppendRecordOfSegments(state.input, state.segments, state.record);
    state.segments = {};
    state.input = {};
    idleBuffers.push_back(std::move(state.buffer));
    idleCapacities.push_back(state.capacity);
    state.capacity = 0;
  };
  RunOnWorkers(jobs, units.size(), prepare, hash, work, finish);
  idleBuffers.clear();
  idleEncoders.clear();

  // A file's first chunk record already follows its stream header; a file
  // of one chunk, nearly every file, is then moved, not copied.
  std::vector<ContainerRecord> records(files.size());
  for (std::size_t index = 0; index < chunks.size(); ++index) {
    std::vector<std::uint8_t>& stored = records[chunks[index].file].storedData;
    if (stored.empty()) {
      stored = std::move(chunkStates[index].record);
    } else {
      stored.insert(stored.end(), chunkStates[index].record.begin(), chunkStates[index].record.end());
      chunkStates[index].record = {};
    }
  }
  std::vector<ContainerRecord> ordered;
  ordered.reserve(files.size());
  for (const std::size_t file : order) {
    ContainerRecord& record = records[file];
    record.name = files[file].storedName;
    record.expandedSize = static_cast<std::uint32_t>(files[file].size);
    record.digest = digests[file];
    ordered.push_back(std::move(record));
  }

  std::vector<std::uint8_t> payload = WritePayloadContainer(ordered);
  if (payload.size() > kMaxPayloadSize) {
    throw PackRefused({{"", "the packed payload is " + std::to_string(payload.size()) +
                                " bytes; the launcher holds at most " + std::to_string(kMaxPayloadSize)}});
  }
  return payload;
}

std::vector<std::uint8_t> BuildPayload(const std::vector<PackInput>& files, compression::Level level,
                                       const PackProgress& progress, unsigned jobs) {
  std::vector<PackFileInfo> infos;
  infos.reserve(files.size());
  for (const PackInput& file : files) infos.push_back({file.storedName, file.contents.size()});
  const ReadFilePart view = [&files](std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    return std::span<const std::uint8_t>(files[file].contents).subspan(static_cast<std::size_t>(offset), buffer.size());
  };
  return BuildPayloadFromParts(infos, view, level, progress, jobs);
}

}  // namespace qvn::pack
