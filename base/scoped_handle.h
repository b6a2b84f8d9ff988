#pragma once

#include <utility>

namespace qvn {

// Owns one handle of any kind and closes it exactly once when it leaves
// scope. Traits name the handle's type, its empty value, which values are
// real handles and how one is closed; an emptied holder holds the empty
// value.
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

}  // namespace qvn
