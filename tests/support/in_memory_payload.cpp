#include "tests/pack/in_memory_payload.h"

#include <algorithm>

namespace qvn::pack {

PayloadSummary WriteInMemory(const std::vector<PackInput>& files, compression::Level level,
                             const PackProgress& progress, unsigned jobs, const PayloadOutput& output) {
  std::vector<PackFileInfo> infos;
  infos.reserve(files.size());
  for (const PackInput& file : files) infos.push_back({file.storedName, file.contents.size()});
  const ReadFilePart copy = [&files](std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::copy_n(files[file].contents.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
  };
  return WritePayload(CheckPackFiles(std::move(infos)), copy, level, progress, jobs, output);
}

std::vector<std::uint8_t> PackInMemory(const std::vector<PackInput>& files, compression::Level level,
                                       const PackProgress& progress, unsigned jobs) {
  std::vector<std::uint8_t> payload;
  WriteInMemory(files, level, progress, jobs, AppendingTo(payload));
  return payload;
}

}  // namespace qvn::pack
