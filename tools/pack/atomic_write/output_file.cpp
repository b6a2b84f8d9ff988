#include "tools/pack/atomic_write/output_file.h"

#include <cerrno>
#include <system_error>

#include "base/error.h"
#include "base/utf8_path.h"

namespace qvn::pack {

namespace {

std::filesystem::path PartialPath(const std::filesystem::path& path) {
  std::filesystem::path partial = path;
  partial += ".partial";
  return partial;
}

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& path)
    : path_(path),
      partial_(PartialPath(path)),
      stream_(partial_, std::ios::binary | std::ios::trunc),
      // The stream opens the file through the C library, which leaves the
      // reason in errno.
      openError_(stream_ ? 0 : errno),
      writeback_(partial_) {
  if (!stream_) throw Error("cannot write " + PathText(path_) + ": " + std::generic_category().message(openError_));
}

OutputFile::~OutputFile() {
  if (committed_) return;
  stream_.close();
  std::error_code ignored;
  std::filesystem::remove(partial_, ignored);
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
  stream_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!stream_) throw Error("cannot write " + PathText(path_));
  writeback_.Written(bytes.size());
}

const std::filesystem::path& OutputFile::Close() {
  if (stream_.is_open()) stream_.close();
  if (!stream_) throw Error("cannot write " + PathText(path_));
  return partial_;
}

void OutputFile::Commit(const std::function<void(const std::filesystem::path& written)>& check) {
  Close();
  if (check) check(partial_);
  std::error_code error;
  std::filesystem::rename(partial_, path_, error);
  if (error) throw Error("cannot write " + PathText(path_) + ": " + error.message());
  committed_ = true;
}

}  // namespace qvn::pack
