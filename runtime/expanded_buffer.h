#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qvn {

// The buffer entries are expanded into, zero-filled when made. Fresh pages
// from the system are zero already, so a buffer of a hundred megabytes costs
// no pass of its own before the decoder fills it. Raises std::bad_alloc when
// the memory cannot be had.
class ExpandedBuffer {
 public:
  explicit ExpandedBuffer(std::size_t size);
  ~ExpandedBuffer();
  ExpandedBuffer(const ExpandedBuffer&) = delete;
  ExpandedBuffer& operator=(const ExpandedBuffer&) = delete;

  std::span<std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qvn
