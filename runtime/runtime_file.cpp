#include "runtime/runtime_file.h"

#include <windows.h>

#include "base/error.h"
#include "base/win/unique_handle.h"
#include "base/win/windows_error.h"

namespace qvn {

void WriteRuntimeFile(const std::wstring& path, std::span<const std::uint8_t> contents) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) RaiseLastError("Cannot create portable runtime file");
  const std::uint8_t empty = 0;
  DWORD written = 0;
  RequireSuccess(WriteFile(file.get(), contents.empty() ? &empty : contents.data(), static_cast<DWORD>(contents.size()),
                           &written, nullptr),
                 "Cannot write portable runtime file");
  if (written != contents.size()) throw Error("Short portable runtime write");
}

}  // namespace qvn
