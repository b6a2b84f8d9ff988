#pragma once

#include <cstdint>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/packing/ordered_output.h"
#include "tools/pack/packing/pack_progress.h"
#include "tools/pack/packing/pack_rules.h"
#include "tools/pack/packing/segment_reader.h"

namespace qvn::pack {

// Builds the payload container for these files, read a part at a time
// through `read`, and gives it to `output` as it goes: each file's record
// once the file is encoded, in stored order, while later files are encoded.
// Records are stored in ascending byte order of their stored names (so
// "B.txt" before "a.txt"), whatever order the list has: the same files
// always give the same bytes. Each non-empty file is one buffer-mode stream
// from our encoder at `level`; an empty file has no stored bytes. Raises
// PackRefused when the container outgrows the payload size limit.
//
// Files, the 64 MiB chunks of larger files and the 8 MiB segments of
// chunks are encoded on `jobs` threads; the bytes are the same for any
// number of jobs. Besides the streams not yet given (and a chunk's own
// bytes where it is stored raw), at most jobs + 1 inputs are held at once,
// each one 8 MiB segment with 128 KiB around it or small files up to
// 512 KiB, and `jobs` encoders, each with one chunk of scratch (up to
// 64 MiB) for checking the records it makes. Each record is checked as the
// launcher will read it (decoded to its size, each file to its digest)
// before it is given; the summary says what was checked and where it went. `progress` counts the bytes encoded by all
// of them, a block at a time; it is called from the workers, one call at a
// time. `read` and `output` are called on the calling thread.
PayloadSummary WritePayload(const PackableFiles& files, const ReadFilePart& read, compression::Level level,
                            const PackProgress& progress, unsigned jobs, const PayloadOutput& output);

// An output that appends the payload to `bytes`.
PayloadOutput AppendingTo(std::vector<std::uint8_t>& bytes);

}  // namespace qvn::pack
