#include "tools/pack/atomic_write/mapped_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>

#include "base/error.h"
#include "base/utf8_path.h"
#include "tools/pack/atomic_write/read_only_descriptor.h"

namespace qvn::pack {
namespace {

[[noreturn]] void RaiseCannotRead(const std::filesystem::path& path) {
  throw Error("cannot read " + PathText(path) + ": " + std::generic_category().message(errno));
}

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& path) {
  const ReadOnlyDescriptor descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!descriptor.valid()) RaiseCannotRead(path);
  struct stat status {};
  if (fstat(descriptor.get(), &status) != 0) RaiseCannotRead(path);
  if (!S_ISREG(status.st_mode)) throw Error(PathText(path) + " is not a file");
  if (status.st_size == 0) return;
  // Populated at once: one call maps the cached pages, where touching each
  // would fault it in on its own.
  void* const view = mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_SHARED | MAP_POPULATE,
                          descriptor.get(), 0);
  if (view == MAP_FAILED) RaiseCannotRead(path);
  view_ = view;
  size_ = static_cast<std::size_t>(status.st_size);
}

MappedFile::~MappedFile() {
  if (view_ != nullptr) munmap(view_, size_);
}

}  // namespace qvn::pack
