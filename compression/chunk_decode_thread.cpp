#include "compression/chunk_decode_thread.h"

#include <utility>

namespace qvn::compression {

ChunkDecodeThread::ChunkDecodeThread() : thread_([this] { Serve(); }) {}

ChunkDecodeThread::~ChunkDecodeThread() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ChunkDecodeThread::Start(Work work) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    work_ = std::move(work);
    done_ = false;
  }
  changed_.notify_all();
}

bool ChunkDecodeThread::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return done_; });
  return result_;
}

void ChunkDecodeThread::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || work_; });
    if (!work_) return;  // stopping, with nothing left to do
    const Work work = std::move(work_);
    work_ = nullptr;
    lock.unlock();
    const bool result = work(*tables_);
    lock.lock();
    result_ = result;
    done_ = true;
    changed_.notify_all();
  }
}

}  // namespace qvn::compression
