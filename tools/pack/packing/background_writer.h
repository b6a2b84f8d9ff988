#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace qvn::pack {

// Gives pieces of bytes to `output` on a thread of its own, in the order
// they come, so that writing them overlaps what the calling thread does
// next. Each piece is freed once given. The output's first failure is
// raised by the next Write or by Finish, and what follows it is dropped;
// so is what is left when the writer is destroyed unfinished.
class BackgroundWriter {
 public:
  // `output` is kept: the writer's thread calls it after the caller's
  // copy may be gone.
  explicit BackgroundWriter(std::function<void(std::span<const std::uint8_t>)> output);
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  void Write(std::vector<std::uint8_t> piece);
  // Returns once every piece is given.
  void Finish();

 private:
  void Serve();

  const std::function<void(std::span<const std::uint8_t>)> output_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  bool closing_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace qvn::pack
