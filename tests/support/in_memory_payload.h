#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/packing/payload_builder.h"

namespace qvn::pack {

// One file to be packed from memory: the name it is stored under ("/"
// separators, relative to the game folder) and its whole contents.
struct PackInput {
  std::string storedName;
  std::vector<std::uint8_t> contents;
};

// WritePayload for files held in memory, checked as a folder's are.
PayloadSummary WriteInMemory(const std::vector<PackInput>& files, compression::Level level,
                             const PackProgress& progress, unsigned jobs, const PayloadOutput& output);

// The same, the payload returned whole.
std::vector<std::uint8_t> PackInMemory(const std::vector<PackInput>& files,
                                       compression::Level level = compression::Level::kFast,
                                       const PackProgress& progress = {}, unsigned jobs = 1);

}  // namespace qvn::pack
