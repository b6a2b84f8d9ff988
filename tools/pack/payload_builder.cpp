#include "tools/pack/payload_builder.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>

#include "compression/byte_order.h"
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

// Far more than an encoder reads past the end of its segment.
constexpr std::size_t kReadAheadMargin = 64 * 1024;

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
  std::size_t read = 0;  // bytes of the chunk in `buffer` so far
  std::size_t unitsLeft = 0;
  std::vector<std::vector<std::uint8_t>> segments;  // its record's pieces once finished
  std::uint64_t recordSize = 0;
};

struct UnitState {
  std::unique_ptr<compression::ChunkEncoder> encoder;
};

// The payload's bytes in order, queued as files complete and given out a
// piece at a time, so that writing them overlaps the encoding of later
// files; each piece is freed once given.
class OrderedOutput {
 public:
  explicit OrderedOutput(const PayloadOutput& output) : output_(output) {}

  void Queue(std::vector<std::uint8_t> bytes) {
    queued_ += bytes.size();
    if (queued_ > kMaxPayloadSize) {
      throw PackRefused({{"", "the packed payload is over " + std::to_string(kMaxPayloadSize) +
                                  " bytes, all the launcher holds"}});
    }
    if (!bytes.empty()) pieces_.push_back(std::move(bytes));
  }

  // Gives at most `most` bytes; says whether more are queued.
  bool GiveSome(std::size_t most) {
    while (most > 0 && !pieces_.empty()) {
      const std::vector<std::uint8_t>& front = pieces_.front();
      const std::size_t size = std::min(most, front.size() - frontGiven_);
      const std::span<const std::uint8_t> part(front.data() + frontGiven_, size);
      output_(part);
      hasher_.Update(part);
      most -= size;
      frontGiven_ += size;
      if (frontGiven_ == front.size()) {
        pieces_.pop_front();
        frontGiven_ = 0;
      }
    }
    return !pieces_.empty();
  }

  PayloadSummary Finish() {
    while (GiveSome(std::numeric_limits<std::size_t>::max())) {
    }
    return {queued_, hasher_.Finish()};
  }

 private:
  const PayloadOutput& output_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  std::size_t frontGiven_ = 0;
  std::uint64_t queued_ = 0;
  Sha256Hasher hasher_;
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

PayloadSummary WritePayloadFromParts(const std::vector<PackFileInfo>& files, const ReadFilePart& read,
                                     compression::Level level, const PackProgress& progress, unsigned jobs,
                                     const PayloadOutput& output) {
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
  std::vector<std::size_t> firstChunk(files.size(), 0);
  std::vector<std::size_t> chunksLeft(files.size(), 0);
  for (std::size_t index = chunks.size(); index-- > 0;) {
    firstChunk[chunks[index].file] = index;
    ++chunksLeft[chunks[index].file];
  }

  // Each file's record is queued once all its chunks are in, in stored
  // order: its header needs their sizes and its digest.
  OrderedOutput out(output);
  out.Queue(ContainerHeaderBytes(static_cast<std::uint32_t>(files.size())));
  std::size_t nextQueued = 0;  // into order
  const auto queueCompleteFiles = [&] {
    for (; nextQueued < order.size() && chunksLeft[order[nextQueued]] == 0; ++nextQueued) {
      const std::size_t file = order[nextQueued];
      std::uint64_t storedSize = 0;
      std::size_t end = firstChunk[file];
      for (; end < chunks.size() && chunks[end].file == file; ++end) storedSize += chunkStates[end].recordSize;
      ContainerRecord record;
      record.name = files[file].storedName;
      record.expandedSize = static_cast<std::uint32_t>(files[file].size);
      record.digest = digests[file];
      out.Queue(RecordHeaderBytes(record, static_cast<std::uint32_t>(storedSize)));
      for (std::size_t index = firstChunk[file]; index < end; ++index) {
        for (std::vector<std::uint8_t>& piece : chunkStates[index].segments) out.Queue(std::move(piece));
        chunkStates[index].segments = {};
      }
    }
  };
  queueCompleteFiles();

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

  // Reading stays on this thread, in order. A chunk's first segment is read
  // before its worker starts; the rest of the chunk while it encodes.
  // Hashing too is done while the segment's worker encodes it: a file is
  // hashed in order, and no segment waits for its hash.
  const auto readUpTo = [&](std::size_t index, std::size_t end) {
    const Chunk& chunk = chunks[index];
    ChunkState& state = chunkStates[index];
    if (state.read >= end) return;
    read(chunk.file, chunk.offset + state.read, std::span(state.buffer.get() + state.read, end - state.read));
    state.read = end;
  };
  const auto prepare = [&](std::size_t index) {
    const Unit& unit = units[index];
    if (idleEncoders.empty()) idleEncoders.push_back(std::make_unique<compression::ChunkEncoder>(level));
    unitStates[index].encoder = std::move(idleEncoders.back());
    idleEncoders.pop_back();
    const Chunk& chunk = chunks[unit.chunk];
    ChunkState& state = chunkStates[unit.chunk];
    if (unit.from == 0) {
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
      state.input = std::span(state.buffer.get(), chunk.size);
      state.read = 0;
      state.unitsLeft = chunk.unitCount;
      state.segments.resize(chunk.unitCount);
    }
    // An encoder looks a few bytes past its segment's end (the hashes of its
    // last positions): bytes from here on are written only where no worker
    // of this chunk looks.
    readUpTo(unit.chunk, std::min<std::size_t>(chunk.size, std::size_t{unit.to} + kReadAheadMargin));
  };
  const auto hash = [&](std::size_t index) {
    const Unit& unit = units[index];
    const Chunk& chunk = chunks[unit.chunk];
    readUpTo(unit.chunk, chunk.size);
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
  // The chunk's record once its last segment is in, as pieces to be given
  // out: a file's first record starts with the stream header. The streams
  // are kept as they are unless the chunk is stored raw.
  const auto finish = [&](std::size_t index) {
    idleEncoders.push_back(std::move(unitStates[index].encoder));
    const Unit& unit = units[index];
    const Chunk& chunk = chunks[unit.chunk];
    ChunkState& state = chunkStates[unit.chunk];
    if (--state.unitsLeft > 0) return;
    std::vector<std::vector<std::uint8_t>> pieces;
    if (chunk.offset == 0) {
      const auto header = compression::BufferHeader(files[chunk.file].size);
      pieces.emplace_back(header.begin(), header.end());
    }
    if (compression::ChunkEncoder::KeepsSegments(chunk.size, state.segments)) {
      std::size_t streamSize = 0;
      for (const std::vector<std::uint8_t>& segment : state.segments) streamSize += segment.size();
      std::vector<std::uint8_t>& storedSize = pieces.emplace_back(compression::kChunkRecordHeaderSize);
      compression::StoreLe32(storedSize.data(), static_cast<std::uint32_t>(streamSize));
      for (std::vector<std::uint8_t>& segment : state.segments) pieces.push_back(std::move(segment));
    } else {
      pieces.emplace_back();
      compression::ChunkEncoder::AppendRecordOfSegments(state.input, state.segments, pieces.back());
    }
    state.segments = std::move(pieces);
    for (const std::vector<std::uint8_t>& piece : state.segments) state.recordSize += piece.size();
    state.input = {};
    idleBuffers.push_back(std::move(state.buffer));
    idleCapacities.push_back(state.capacity);
    state.capacity = 0;
    --chunksLeft[chunk.file];
    queueCompleteFiles();
  };
  // A piece at a time, so that the workers are not kept waiting for the
  // next unit.
  constexpr std::size_t kGivenAtOnce = std::size_t{1} << 20;
  const auto give = [&] { return out.GiveSome(kGivenAtOnce); };
  RunOnWorkers(jobs, units.size(), prepare, hash, work, finish, give);
  return out.Finish();
}

PayloadOutput AppendingTo(std::vector<std::uint8_t>& bytes) {
  return [&bytes](std::span<const std::uint8_t> piece) { bytes.insert(bytes.end(), piece.begin(), piece.end()); };
}

std::vector<std::uint8_t> BuildPayloadFromParts(const std::vector<PackFileInfo>& files, const ReadFilePart& read,
                                                compression::Level level, const PackProgress& progress,
                                                unsigned jobs) {
  std::vector<std::uint8_t> payload;
  WritePayloadFromParts(files, read, level, progress, jobs, AppendingTo(payload));
  return payload;
}

std::vector<std::uint8_t> BuildPayload(const std::vector<PackInput>& files, compression::Level level,
                                       const PackProgress& progress, unsigned jobs) {
  std::vector<PackFileInfo> infos;
  infos.reserve(files.size());
  for (const PackInput& file : files) infos.push_back({file.storedName, file.contents.size()});
  const ReadFilePart copy = [&files](std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::copy_n(files[file].contents.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
  };
  return BuildPayloadFromParts(infos, copy, level, progress, jobs);
}

}  // namespace qvn::pack
