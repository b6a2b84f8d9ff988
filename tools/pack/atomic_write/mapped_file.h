#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace qvn::pack {

// A file's bytes mapped read-only, to read a large file once without
// copying it into memory of our own: the pages come straight from the
// system's file cache. Raises Error when it cannot be opened or mapped.
// The file must not change while it is mapped.
class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<const std::uint8_t> bytes() const { return {static_cast<const std::uint8_t*>(view_), size_}; }

 private:
  void* view_ = nullptr;  // none for an empty file
  std::size_t size_ = 0;
};

}  // namespace qvn::pack
