#include "tools/pack/build/payload_builder.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <string>

#include "base/byte_order.h"
#include "compression/chunk_encoder.h"
#include "compression/lz_decoder.h"
#include "payload/payload_container_writer.h"
#include "payload/payload_contract.h"
#include "tools/pack/build/background_writer.h"
#include "tools/pack/build/pack_refusal.h"
#include "tools/pack/build/pack_rules.h"
#include "base/sha256.h"
#include "tools/pack/build/worker_pool.h"

namespace qvn::pack {
namespace {

// One chunk of one file: its record is made from those of its segments.
struct Chunk {
  std::size_t file;
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

// Small files go together into units of up to this many bytes.
constexpr std::size_t kSmallFilesPerUnit = 512 * 1024;

struct ChunkState {
  std::size_t segmentsLeft = 0;
  std::vector<std::vector<std::uint8_t>> streams;  // per segment; empty where one gave up
  // Per segment, its own bytes where its stream gave up or came out no
  // smaller, for a chunk stored raw; otherwise empty (a stream decodes).
  std::vector<std::vector<std::uint8_t>> raws;
  std::vector<std::vector<std::uint8_t>> record;  // its pieces once finished
  std::uint64_t recordSize = 0;
};

struct InputBuffer {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t capacity = 0;
};

// What the encoder of a segment reads: the segment, with the bytes before
// it that its matches may reach and those after it that it reads ahead.
struct SegmentWindow {
  std::span<const std::uint8_t> bytes;
  std::uint32_t history = 0;  // bytes before the segment
};

// The payload's bytes in order, queued as files complete and given out a
// piece at a time, so that hashing and writing them overlaps the encoding
// of later files: hashed on the calling thread, written on the writer's,
// each piece freed once written.
class OrderedOutput {
 public:
  explicit OrderedOutput(const PayloadOutput& output) : writer_(output) {}

  void Queue(std::vector<std::uint8_t> bytes) {
    queued_ += bytes.size();
    if (queued_ > kMaxPayloadSize) {
      throw PackRefused({{"", "the packed payload is over " + std::to_string(kMaxPayloadSize) +
                                  " bytes, all the launcher holds"}});
    }
    if (!bytes.empty()) pieces_.push_back(std::move(bytes));
  }

  // Hashes at most `most` bytes, and hands on each piece hashed whole;
  // says whether more are queued.
  bool GiveSome(std::size_t most) {
    while (most > 0 && !pieces_.empty()) {
      std::vector<std::uint8_t>& front = pieces_.front();
      const std::size_t size = std::min(most, front.size() - frontHashed_);
      hasher_.Update(std::span(front).subspan(frontHashed_, size));
      most -= size;
      frontHashed_ += size;
      if (frontHashed_ == front.size()) {
        writer_.Write(std::move(front));
        pieces_.pop_front();
        frontHashed_ = 0;
      }
    }
    return !pieces_.empty();
  }

  PayloadSummary Finish() {
    while (GiveSome(std::numeric_limits<std::size_t>::max())) {
    }
    writer_.Finish();
    return {queued_, hasher_.Finish()};
  }

 private:
  BackgroundWriter writer_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  std::size_t frontHashed_ = 0;
  std::uint64_t queued_ = 0;
  Sha256Hasher hasher_;
};

// Cuts the files, in stored order, into chunks and their segments, and
// those into units.
void CutIntoUnits(const std::vector<PackFileInfo>& files, const std::vector<std::size_t>& order,
                  compression::Level level, std::vector<Chunk>& chunks, std::vector<Segment>& segments,
                  std::vector<Unit>& units) {
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

// The 32-bit stored size that starts a chunk's record: its streams'
// total, or the chunk's own size, which marks it as stored raw.
std::vector<std::uint8_t> ChunkRecordHeader(std::size_t storedSize) {
  std::vector<std::uint8_t> header(compression::kChunkRecordHeaderSize);
  compression::StoreLe32(header.data(), static_cast<std::uint32_t>(storedSize));
  return header;
}

// Appends the bytes of a chunk stored raw to its record: those of its
// segments, each decoded back from its stream where they were not kept,
// after the bytes before it that its matches reach.
void AppendRawChunk(std::span<const Segment> segments, std::size_t chunkSize, ChunkState& state,
                    const std::string& name) {
  if (std::ranges::none_of(state.raws, [](const std::vector<std::uint8_t>& raw) { return raw.empty(); })) {
    for (std::vector<std::uint8_t>& raw : state.raws) state.record.push_back(std::move(raw));
    return;
  }
  std::vector<std::uint8_t>& bytes = state.record.emplace_back(chunkSize);
  const auto tables = std::make_unique<compression::HuffmanDecoder>();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    if (!state.raws[i].empty()) {
      std::ranges::copy(state.raws[i], bytes.begin() + segment.from);
    } else if (!compression::DecodeLzHuffman(state.streams[i], std::span(bytes).first(segment.to), segment.from,
                                             *tables)) {
      throw std::runtime_error(name + ": a segment just encoded does not decode");
    }
  }
}

// Where a segment's window starts and ends in its chunk.
std::size_t WindowBegin(std::uint32_t from) {
  return from - std::min(from, compression::LzEncoder::kSegmentHistory);
}
std::size_t WindowEnd(const Segment& segment, std::size_t chunkSize) {
  return std::min<std::size_t>(chunkSize, std::size_t{segment.to} + compression::LzEncoder::kSegmentReadAhead);
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
  std::vector<Segment> segments;
  std::vector<Unit> units;
  CutIntoUnits(files, order, level, chunks, segments, units);
  std::vector<ChunkState> chunkStates(chunks.size());
  std::vector<SegmentWindow> windows(segments.size());
  std::vector<InputBuffer> unitBuffers(units.size());
  // Input buffers go back here when done with, for the next units: never
  // more of them than units prepared at once. Each worker keeps its encoder.
  std::vector<InputBuffer> idleBuffers;
  std::vector<std::unique_ptr<compression::ChunkEncoder>> encoders(std::max(jobs, 1u));
  std::vector<Sha256> digests(files.size(), HashSha256({}));
  Sha256Hasher hasher;  // of the file being read, across its chunks
  std::vector<std::size_t> chunksLeft(files.size(), 0);
  for (const Chunk& chunk : chunks) ++chunksLeft[chunk.file];

  // Each file's record is queued once all its chunks are in, in stored
  // order: its header needs their sizes and its digest.
  OrderedOutput out(output);
  out.Queue(ContainerHeaderBytes(static_cast<std::uint32_t>(files.size())));
  std::size_t nextQueued = 0;  // into order
  std::size_t nextChunk = 0;   // the first chunk of the file order[nextQueued]
  const auto queueCompleteFiles = [&] {
    for (; nextQueued < order.size() && chunksLeft[order[nextQueued]] == 0; ++nextQueued) {
      const std::size_t file = order[nextQueued];
      std::uint64_t storedSize = 0;
      std::size_t end = nextChunk;
      for (; end < chunks.size() && chunks[end].file == file; ++end) storedSize += chunkStates[end].recordSize;
      ContainerRecord record;
      record.name = files[file].storedName;
      record.expandedSize = static_cast<std::uint32_t>(files[file].size);
      record.digest = digests[file];
      out.Queue(RecordHeaderBytes(record, static_cast<std::uint32_t>(storedSize)));
      for (; nextChunk < end; ++nextChunk) {
        for (std::vector<std::uint8_t>& piece : chunkStates[nextChunk].record) out.Queue(std::move(piece));
        chunkStates[nextChunk].record = {};
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

  // Reading stays on this thread, in order, and each byte is read once:
  // what a segment's window shares with the one before it (the history
  // before the segment, what that one read ahead) comes from that one's
  // window. So all that is hashed and encoded agrees, whatever the file
  // does meanwhile. Hashing is done while the unit's worker encodes it.
  std::vector<std::uint8_t> carried;  // the next segment's first bytes
  const auto prepare = [&](std::size_t index) {
    const Unit& unit = units[index];
    std::size_t size = 0;  // of all the unit's windows
    for (std::size_t i = unit.firstSegment; i < unit.firstSegment + unit.segmentCount; ++i) {
      size += WindowEnd(segments[i], chunks[segments[i].chunk].size) - WindowBegin(segments[i].from);
    }
    InputBuffer& buffer = unitBuffers[index];
    if (!idleBuffers.empty()) {
      buffer = std::move(idleBuffers.back());
      idleBuffers.pop_back();
    }
    if (buffer.capacity < size) {
      buffer.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(size);
      buffer.capacity = size;
    }
    std::uint8_t* window = buffer.bytes.get();
    for (std::size_t i = unit.firstSegment; i < unit.firstSegment + unit.segmentCount; ++i) {
      const Segment& segment = segments[i];
      const Chunk& chunk = chunks[segment.chunk];
      if (segment.from == 0) {
        ChunkState& state = chunkStates[segment.chunk];
        state.segmentsLeft = chunk.segmentCount;
        state.streams.resize(chunk.segmentCount);
        state.raws.resize(chunk.segmentCount);
        carried.clear();
      }
      const std::size_t begin = WindowBegin(segment.from);
      const std::size_t end = WindowEnd(segment, chunk.size);
      std::copy(carried.begin(), carried.end(), window);
      // A short last segment may lie wholly in what the one before read.
      if (end - begin > carried.size()) {
        read(chunk.file, chunk.offset + begin + carried.size(),
             std::span(window + carried.size(), end - begin - carried.size()));
      }
      windows[i] = {std::span(window, end - begin), static_cast<std::uint32_t>(segment.from - begin)};
      if (segment.to < chunk.size) carried.assign(window + (WindowBegin(segment.to) - begin), window + (end - begin));
      window += end - begin;
    }
  };
  const auto hash = [&](std::size_t index) {
    const Unit& unit = units[index];
    for (std::size_t i = unit.firstSegment; i < unit.firstSegment + unit.segmentCount; ++i) {
      const Segment& segment = segments[i];
      const Chunk& chunk = chunks[segment.chunk];
      const std::span<const std::uint8_t> bytes =
          windows[i].bytes.subspan(windows[i].history, segment.to - segment.from);
      const std::uint64_t fileSize = files[chunk.file].size;
      const std::uint64_t start = chunk.offset + segment.from;
      if (start == 0 && bytes.size() == fileSize) {
        digests[chunk.file] = HashSha256(bytes);
        continue;
      }
      if (start == 0) hasher = Sha256Hasher();
      hasher.Update(bytes);
      if (start + bytes.size() == fileSize) digests[chunk.file] = hasher.Finish();
    }
  };
  const auto work = [&](std::size_t index, std::size_t worker) {
    if (!encoders[worker]) encoders[worker] = std::make_unique<compression::ChunkEncoder>(level);
    const Unit& unit = units[index];
    for (std::size_t i = unit.firstSegment; i < unit.firstSegment + unit.segmentCount; ++i) {
      const Segment& segment = segments[i];
      const SegmentWindow& window = windows[i];
      const std::uint32_t size = segment.to - segment.from;
      std::size_t told = 0;
      const std::span<const std::uint8_t> stream = encoders[worker]->EncodeSegment(
          window.bytes, window.history, window.history + size, [&](std::size_t bytes) {
            told += bytes;
            advance(bytes);
          });
      // Each worker writes only its own segments' slots.
      ChunkState& state = chunkStates[segment.chunk];
      const std::size_t slot = i - chunks[segment.chunk].firstSegment;
      state.streams[slot].assign(stream.begin(), stream.end());
      if (stream.empty() || stream.size() >= size) {
        const std::span<const std::uint8_t> bytes = window.bytes.subspan(window.history, size);
        state.raws[slot].assign(bytes.begin(), bytes.end());
      }
      // A segment given up as incompressible stops before its last block.
      advance(size - told);
    }
  };
  // A chunk's record once its last segment is in, as pieces to be given
  // out: a file's first record starts with the stream header.
  const auto finish = [&](std::size_t index) {
    idleBuffers.push_back(std::move(unitBuffers[index]));
    unitBuffers[index] = {};
    const Unit& unit = units[index];
    for (std::size_t i = unit.firstSegment; i < unit.firstSegment + unit.segmentCount; ++i) {
      windows[i] = {};
      const Chunk& chunk = chunks[segments[i].chunk];
      ChunkState& state = chunkStates[segments[i].chunk];
      if (--state.segmentsLeft > 0) continue;
      if (chunk.offset == 0) {
        const auto header = compression::BufferHeader(files[chunk.file].size);
        state.record.emplace_back(header.begin(), header.end());
      }
      if (compression::ChunkEncoder::KeepsSegments(chunk.size, state.streams)) {
        std::size_t storedSize = 0;
        for (const std::vector<std::uint8_t>& stream : state.streams) storedSize += stream.size();
        state.record.push_back(ChunkRecordHeader(storedSize));
        for (std::vector<std::uint8_t>& stream : state.streams) state.record.push_back(std::move(stream));
      } else {
        state.record.push_back(ChunkRecordHeader(chunk.size));
        AppendRawChunk(std::span(segments).subspan(chunk.firstSegment, chunk.segmentCount), chunk.size, state,
                       files[chunk.file].storedName);
      }
      state.streams = {};
      state.raws = {};
      for (const std::vector<std::uint8_t>& piece : state.record) state.recordSize += piece.size();
      --chunksLeft[chunk.file];
    }
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
