#include "tools/pack/packing/background_writer.h"

#include <utility>

namespace qvn::pack {

BackgroundWriter::BackgroundWriter(std::function<void(std::span<const std::uint8_t>)> output)
    : output_(std::move(output)), thread_([this] { Serve(); }) {}

BackgroundWriter::~BackgroundWriter() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    pieces_.clear();
    closing_ = true;
  }
  queued_.notify_one();
  thread_.join();
}

void BackgroundWriter::Write(std::vector<std::uint8_t> piece) {
  {
    const std::lock_guard lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
    pieces_.push_back(std::move(piece));
  }
  queued_.notify_one();
}

void BackgroundWriter::Finish() {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
  }
  queued_.notify_one();
  thread_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void BackgroundWriter::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return closing_ || !pieces_.empty(); });
    if (pieces_.empty()) return;
    const std::vector<std::uint8_t> piece = std::move(pieces_.front());
    pieces_.pop_front();
    lock.unlock();
    std::exception_ptr failure;
    try {
      output_(piece);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) {
      failure_ = failure;
      pieces_.clear();
      return;
    }
  }
}

}  // namespace qvn::pack
