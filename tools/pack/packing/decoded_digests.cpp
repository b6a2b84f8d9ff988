#include "tools/pack/packing/decoded_digests.h"

namespace qvn::pack {

DecodedDigests::DecodedDigests(const std::vector<PackFileInfo>& files, const UnitPlan& plan)
    : plan_(plan), files_(files.size()) {
  for (FileState& file : files_) file.digest = HashSha256({});
  for (std::size_t i = plan.chunks.size(); i-- > 0;) files_[plan.chunks[i].file].nextChunk = i;
}

bool DecodedDigests::Hash(std::size_t chunk, const std::function<void(Sha256Hasher& hasher)>& hash) {
  FileState& file = files_[plan_.chunks[chunk].file];
  {
    std::unique_lock lock(mutex_);
    added_.wait(lock, [this, &file, chunk] { return abandoned_ || file.nextChunk == chunk; });
    if (abandoned_) return false;
  }
  // Only this thread's chunk is next, so the hasher is its own meanwhile.
  hash(file.hasher);
  const bool last = chunk + 1 == plan_.chunks.size() || plan_.chunks[chunk + 1].file != plan_.chunks[chunk].file;
  {
    const std::lock_guard lock(mutex_);
    if (last) file.digest = file.hasher.Finish();
    ++file.nextChunk;
  }
  added_.notify_all();
  return true;
}

void DecodedDigests::Abandon() {
  {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  added_.notify_all();
}

Sha256 DecodedDigests::Of(std::size_t file) {
  const std::lock_guard lock(mutex_);
  return files_[file].digest;
}

}  // namespace qvn::pack
