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

// One chunk of one file: what a worker encodes.
struct Unit {
  std::size_t file;
  std::uint64_t offset;
  std::size_t size;
};

// What a unit holds while it is in flight: a buffer for its input and an
// encoder with its tables. Reused by the next unit, so that there are never
// more of them than jobs.
struct Workspace {
  explicit Workspace(compression::Level level) : encoder(level) {}
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t capacity = 0;
  compression::ChunkEncoder encoder;
};

struct UnitState {
  std::unique_ptr<Workspace> workspace;
  std::span<const std::uint8_t> input;
  std::vector<std::uint8_t> record;
};

std::vector<Unit> CutIntoUnits(const std::vector<PackFileInfo>& files, const std::vector<std::size_t>& order) {
  std::vector<Unit> units;
  for (const std::size_t file : order) {
    for (std::uint64_t offset = 0; offset < files[file].size; offset += compression::kBufferChunkSize) {
      units.push_back(
          {file, offset, static_cast<std::size_t>(std::min(compression::kBufferChunkSize, files[file].size - offset))});
    }
  }
  return units;
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
  const std::vector<Unit> units = CutIntoUnits(files, order);
  std::vector<UnitState> states(units.size());
  std::vector<std::unique_ptr<Workspace>> idle;
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

  // Reading stays on this thread, in order. Hashing too, but while the
  // unit's worker encodes it: a file of several chunks is hashed in order,
  // and the longest chunk need not wait for its hash.
  const auto prepare = [&](std::size_t index) {
    const Unit& unit = units[index];
    UnitState& state = states[index];
    if (idle.empty()) idle.push_back(std::make_unique<Workspace>(level));
    state.workspace = std::move(idle.back());
    idle.pop_back();
    Workspace& workspace = *state.workspace;
    if (workspace.capacity < unit.size) {
      workspace.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(unit.size);
      workspace.capacity = unit.size;
    }
    state.input = read(unit.file, unit.offset, std::span(workspace.buffer.get(), unit.size));
  };
  const auto hash = [&](std::size_t index) {
    const Unit& unit = units[index];
    const std::span<const std::uint8_t> input = states[index].input;
    if (unit.offset == 0 && unit.size == files[unit.file].size) {
      digests[unit.file] = HashSha256(input);
      return;
    }
    if (unit.offset == 0) hasher = Sha256Hasher();
    hasher.Update(input);
    if (unit.offset + unit.size == files[unit.file].size) digests[unit.file] = hasher.Finish();
  };
  const auto work = [&](std::size_t index) {
    UnitState& state = states[index];
    if (units[index].offset == 0) {
      const auto header = compression::BufferHeader(files[units[index].file].size);
      state.record.assign(header.begin(), header.end());
    }
    std::size_t told = 0;
    state.workspace->encoder.AppendRecord(state.input, state.record, [&](std::size_t bytes) {
      told += bytes;
      advance(bytes);
    });
    // A chunk given up as incompressible stops before its last block.
    advance(units[index].size - told);
  };
  const auto finish = [&](std::size_t index) {
    UnitState& state = states[index];
    idle.push_back(std::move(state.workspace));
    state.input = {};
  };
  RunOnWorkers(jobs, units.size(), prepare, hash, work, finish);
  idle.clear();

  // A file's first chunk record already follows its stream header; a file
  // of one chunk, nearly every file, is then moved, not copied.
  std::vector<ContainerRecord> records(files.size());
  for (std::size_t index = 0; index < units.size(); ++index) {
    std::vector<std::uint8_t>& stored = records[units[index].file].storedData;
    if (stored.empty()) {
      stored = std::move(states[index].record);
    } else {
      stored.insert(stored.end(), states[index].record.begin(), states[index].record.end());
      states[index].record = {};
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
