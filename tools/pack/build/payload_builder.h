#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/build/pack_input.h"
#include "tools/pack/build/pack_progress.h"
#include "base/sha256.h"

namespace qvn::pack {

// Builds the payload container for these files. Records are stored in
// ascending byte order of their stored names (so "B.txt" before "a.txt"),
// whatever order the list has: the same files always give the same bytes.
// Each non-empty file is one buffer-mode stream from our encoder at `level`;
// an empty file has no stored bytes. Raises PackRefused, listing every
// problem (FindPackProblems), when the launcher would refuse the files, and
// also when the container outgrows the payload size limit.
//
// Files, the 64 MiB chunks of larger files and the 8 MiB segments of
// chunks are encoded on `jobs` threads; the bytes are the same for any number of jobs. `progress` counts
// the bytes encoded by all of them, a block at a time; it is called from
// the workers, one call at a time.
std::vector<std::uint8_t> BuildPayload(const std::vector<PackInput>& files,
                                       compression::Level level = compression::Level::kFast,
                                       const PackProgress& progress = {}, unsigned jobs = 1);

// Fills `buffer` with the bytes of file `file` (an index into
// BuildPayloadFromParts' list) from `offset` on. Called on one thread, each
// file's parts in order from its start, one file after the other.
using ReadFilePart = std::function<void(std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer)>;

// BuildPayload for files read a part at a time: besides the packed streams
// (and a chunk's own bytes where it is stored raw), at most jobs + 1 inputs
// are held at once, each one 8 MiB segment with 128 KiB around it or small
// files up to 512 KiB, and `jobs` encoders.
std::vector<std::uint8_t> BuildPayloadFromParts(const std::vector<PackFileInfo>& files, const ReadFilePart& read,
                                                compression::Level level, const PackProgress& progress,
                                                unsigned jobs);

// Takes the payload's bytes in order, a piece at a time.
using PayloadOutput = std::function<void(std::span<const std::uint8_t> bytes)>;

// An output that appends the payload to `bytes`.
PayloadOutput AppendingTo(std::vector<std::uint8_t>& bytes);

struct PayloadSummary {
  std::uint64_t size = 0;
  Sha256 digest{};  // of the whole payload
};

// BuildPayloadFromParts giving the payload to `output` as it goes: each
// file's record once the file is encoded, in stored order, while later
// files are encoded. Besides chunks and encoders, only the streams not yet
// given are held. Called on the calling thread.
PayloadSummary WritePayloadFromParts(const std::vector<PackFileInfo>& files, const ReadFilePart& read,
                                     compression::Level level, const PackProgress& progress, unsigned jobs,
                                     const PayloadOutput& output);

}  // namespace qvn::pack
