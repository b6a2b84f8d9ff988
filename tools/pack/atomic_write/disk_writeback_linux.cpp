#include "tools/pack/atomic_write/disk_writeback.h"

#include <fcntl.h>

namespace qvn::pack {
namespace {

// Asked for this much at a time: each call costs a system call and a look
// through the file's cached pages.
constexpr std::uint64_t kStartedAtOnce = std::uint64_t{8} << 20;

}  // namespace

DiskWriteback::DiskWriteback(const std::filesystem::path& path)
    : descriptor_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

DiskWriteback::~DiskWriteback() = default;

void DiskWriteback::Written(std::uint64_t bytes) {
  written_ += bytes;
  if (!descriptor_.valid() || written_ - started_ < kStartedAtOnce) return;
  // Only a request: a failure leaves the bytes to be written later, as
  // without it.
  sync_file_range(descriptor_.get(), static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                  SYNC_FILE_RANGE_WRITE);
  started_ = written_;
}

}  // namespace qvn::pack
