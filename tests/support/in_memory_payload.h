#pragma once

#include <cstdint>
#include <vector>

#include "compression/buffer_format.h"
#include "tests/support/test_payload.h"
#include "tools/pack/packing/payload_builder.h"

namespace qvn::testing {

// WritePayload for files held in memory, checked as a folder's are: the
// payload the packer makes of a game folder holding these files.
pack::PayloadSummary WriteInMemory(const std::vector<TestFile>& files, compression::Level level,
                                   const pack::PackProgress& progress, unsigned jobs,
                                   const pack::PayloadOutput& output);

// The same, the payload returned whole.
std::vector<std::uint8_t> PackInMemory(const std::vector<TestFile>& files,
                                       compression::Level level = compression::Level::kFast,
                                       const pack::PackProgress& progress = {}, unsigned jobs = 1);

}  // namespace qvn::testing
