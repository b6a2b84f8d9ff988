#pragma once

#include <atomic>
#include <cstdint>

namespace qvn {

// Bytes of work done out of a total: written by the one thread that does the
// work, read by another that shows it. The writer only ever stores, so it
// never waits on the reader, and the reader needs no more than a recent
// figure.
class WorkProgress {
 public:
  void SetTotal(std::uint64_t bytes) { total_.store(bytes, std::memory_order_relaxed); }
  void AddDone(std::uint64_t bytes) {
    done_.store(done_.load(std::memory_order_relaxed) + bytes, std::memory_order_relaxed);
  }

  std::uint64_t total() const { return total_.load(std::memory_order_relaxed); }
  std::uint64_t done() const { return done_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> total_{0};
  std::atomic<std::uint64_t> done_{0};
};

}  // namespace qvn
