#pragma once

#include <windows.h>

#include "base/scoped_handle.h"

namespace qvn {

// Windows handles in the one holder. Both NULL and INVALID_HANDLE_VALUE
// count as "no handle" for kernel and find handles.
struct KernelHandleTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};

struct ModuleTraits {
  using Value = HMODULE;
  static HMODULE Empty() { return nullptr; }
  static bool IsValid(HMODULE module) { return module != nullptr; }
  static void Close(HMODULE module) { FreeLibrary(module); }
};

using UniqueHandle = ScopedHandle<KernelHandleTraits>;
using UniqueFindHandle = ScopedHandle<FindHandleTraits>;
using UniqueModule = ScopedHandle<ModuleTraits>;

}  // namespace qvn
