#include "runtime/expanded_buffer.h"

#include <windows.h>

#include <new>

namespace qvn {

ExpandedBuffer::ExpandedBuffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  data_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (data_ == nullptr) throw std::bad_alloc();
}

ExpandedBuffer::~ExpandedBuffer() {
  if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
}

}  // namespace qvn
