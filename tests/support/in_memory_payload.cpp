#include "tests/support/in_memory_payload.h"

#include <algorithm>

namespace qvn::testing {

pack::PayloadSummary WriteInMemory(const std::vector<TestFile>& files, compression::Level level,
                                   const pack::PackProgress& progress, unsigned jobs,
                                   const pack::PayloadOutput& output) {
  std::vector<pack::PackFileInfo> infos;
  infos.reserve(files.size());
  for (const TestFile& file : files) infos.push_back({file.name, file.contents.size()});
  const pack::ReadFilePart copy = [&files](std::size_t file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    std::copy_n(files[file].contents.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
  };
  return pack::WritePayload(pack::CheckPackFiles(std::move(infos)), copy, level, progress, jobs, output);
}

std::vector<std::uint8_t> PackInMemory(const std::vector<TestFile>& files, compression::Level level,
                                       const pack::PackProgress& progress, unsigned jobs) {
  std::vector<std::uint8_t> payload;
  WriteInMemory(files, level, progress, jobs, pack::AppendingTo(payload));
  return payload;
}

}  // namespace qvn::testing
