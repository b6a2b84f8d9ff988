#pragma once

#include <windows.h>

#include <utility>

namespace qvn {

// Owns one handle and closes it exactly once when it leaves scope. Both
// NULL and INVALID_HANDLE_VALUE count as "no handle"; an emptied holder
// holds its traits' empty value.
template <typename Traits>
class ScopedHandle {
 public:
  using Value = typename Traits::Value;

  ScopedHandle() = default;
  explicit ScopedHandle(Value value) : value_(value) {}
  ~ScopedHandle() { reset(); }

  ScopedHandle(ScopedHandle&& other) noexcept : value_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }

  Value release() { return std::exchange(value_, Traits::Empty()); }

  void reset(Value value = Traits::Empty()) {
    Value old = std::exchange(value_, value);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

 private:
  Value value_ = Traits::Empty();
};

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
