#include "tools/pack/atomic_write/mapped_file.h"

#include <windows.h>

#include "base/error.h"
#include "base/utf8_path.h"
#include "base/win/unique_handle.h"

namespace qvn::pack {
namespace {

// Right after the failing call, before anything can change its code.
[[noreturn]] void RaiseCannotRead(const std::filesystem::path& path) {
  const DWORD code = GetLastError();
  throw Error("cannot read " + PathText(path), code);
}

}  // namespace

MappedFile::MappedFile(const std::filesystem::path& path) {
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) RaiseCannotRead(path);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) RaiseCannotRead(path);
  if (size.QuadPart == 0) return;  // an empty file cannot be mapped
  // The view keeps the mapping alive once both handles are closed.
  const UniqueHandle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.valid()) RaiseCannotRead(path);
  void* const view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) RaiseCannotRead(path);
  view_ = view;
  size_ = static_cast<std::size_t>(size.QuadPart);
}

MappedFile::~MappedFile() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
}

}  // namespace qvn::pack
