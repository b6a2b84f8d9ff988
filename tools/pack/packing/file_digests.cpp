#include "tools/pack/packing/file_digests.h"

namespace qvn::pack {

FileDigests::FileDigests(const std::vector<PackFileInfo>& files, const UnitPlan& plan)
    : files_(files), plan_(plan), digests_(files.size(), HashSha256({})) {}

void FileDigests::Add(std::size_t unit, const UnitInput& input) {
  const std::span<const Segment> segments = plan_.SegmentsOf(plan_.units[unit]);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& segment = segments[i];
    const Chunk& chunk = plan_.chunks[segment.chunk];
    const std::span<const std::uint8_t> bytes = input.windows[i].Segment(segment.to - segment.from);
    const std::uint64_t fileSize = files_[chunk.file].size;
    const std::uint64_t start = chunk.offset + segment.from;
    if (start == 0 && bytes.size() == fileSize) {
      digests_[chunk.file] = HashSha256(bytes);
      continue;
    }
    if (start == 0) hasher_ = Sha256Hasher();
    hasher_.Update(bytes);
    if (start + bytes.size() == fileSize) digests_[chunk.file] = hasher_.Finish();
  }
}

}  // namespace qvn::pack
