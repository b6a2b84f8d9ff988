#pragma once

#include <cstdint>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/pack_input.h"
#include "tools/pack/pack_progress.h"

namespace qvn::pack {

// Builds the payload container for these files. Records are stored in
// ascending byte order of their stored names (so "B.txt" before "a.txt"),
// whatever order the list has: the same files always give the same bytes.
// Each non-empty file is one buffer-mode stream from our encoder at `level`;
// an empty file has no stored bytes. Raises PackRefused, listing every
// problem (FindPackProblems), when the launcher would refuse the files, and
// also when the finished container outgrows the payload size limit.
std::vector<std::uint8_t> BuildPayload(const std::vector<PackInput>& files,
                                       compression::Level level = compression::Level::kFast,
                                       const PackProgress& progress = {});

}  // namespace qvn::pack
