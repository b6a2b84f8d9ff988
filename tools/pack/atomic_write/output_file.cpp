#include "tools/pack/atomic_write/output_file.h"

#include <algorithm>
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
  // A MiB at a time, so that writeback starts while a large piece is still
  // being written: copying into pages that wait for it costs several times
  // more.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    const std::span<const std::uint8_t> piece = bytes.subspan(at, std::min(kPiece, bytes.size() - at));
    stream_.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    if (!stream_) throw Error("cannot write " + PathText(path_));
    writeback_.Written(piece.size());
  }
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
