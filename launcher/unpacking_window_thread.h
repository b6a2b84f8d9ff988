#pragma once

#include <memory>

#include "base/win/unique_handle.h"
#include "base/work_progress.h"
#include "launcher/unpacking_window.h"

namespace qvn {

// The unpacking window's thread and the progress it shows. If the run is
// still unpacking about 0.5 s after the process started, the thread shows
// the window until Close(). A launcher whose resource forbids the window
// starts no thread. Whatever fails on the thread ends it without a word:
// the run never depends on the window, nor waits for a thread that is still
// getting it ready. The thread runs `show` (ShowUnpackingWindow, or a test's
// stand-in).
class UnpackingWindowThread {
 public:
  explicit UnpackingWindowThread(UnpackingWindowShow show);
  ~UnpackingWindowThread() { Close(); }
  UnpackingWindowThread(const UnpackingWindowThread&) = delete;
  UnpackingWindowThread& operator=(const UnpackingWindowThread&) = delete;

  // Takes the window down, or keeps it from ever coming up, and returns
  // once it is gone: at once when it never came up, since then nothing of
  // it is on screen; later calls do nothing.
  void Close() noexcept;

  // Where the run counts its work; the window only reads it.
  WorkProgress& progress() { return shared_->progress; }

 private:
  // Owned with the thread too, which may outlive this holder when it is
  // stuck and so must never refer back to it.
  struct Shared {
    WorkProgress progress;
    UniqueHandle stop;
    WindowShowing showing;
    UnpackingWindowShow show = nullptr;
  };

  static DWORD WINAPI ThreadMain(void* shared);

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  UniqueHandle thread_;
};

}  // namespace qvn
