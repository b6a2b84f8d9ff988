#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "compression/huffman_decoder.h"

namespace qvn::compression {

// A second thread for the chunks of streams over one chunk, made once and
// kept for every stream a decoder handles. Starting or ending a thread on
// Windows waits for the loader lock (thread attach and detach), which another
// thread of the process may hold for seconds; a thread made early and kept
// never asks for it while decoding.
class ChunkDecodeThread {
 public:
  using Work = std::function<bool(HuffmanDecoder& tables)>;

  // Raises std::system_error when no thread can be started, std::bad_alloc
  // when its tables cannot be had.
  ChunkDecodeThread();
  ~ChunkDecodeThread();
  ChunkDecodeThread(const ChunkDecodeThread&) = delete;
  ChunkDecodeThread& operator=(const ChunkDecodeThread&) = delete;

  // Runs `work` on the thread with the thread's own tables; Finish waits for
  // it and returns what it returned. One piece of work at a time.
  void Start(Work work);
  bool Finish();

 private:
  void Serve();

  const std::unique_ptr<HuffmanDecoder> tables_ = std::make_unique<HuffmanDecoder>();
  std::mutex mutex_;
  std::condition_variable changed_;
  Work work_;
  bool done_ = false;
  bool result_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once everything it uses is there
};

}  // namespace qvn::compression
