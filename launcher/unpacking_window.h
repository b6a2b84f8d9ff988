#pragma once

#include <windows.h>

#include <atomic>

#include "base/work_progress.h"

namespace qvn {

// The window's class name, by which tests find it.
inline constexpr wchar_t kUnpackingWindowClass[] = L"QuorvaneUnpacking";

// Settles, once, whether the window comes up: the window's thread asks
// before it shows the window, the run asks when it wants the window gone,
// and whichever asks first decides. The run then waits only for a window
// that is up, never for a thread still getting ready (loading user32 can
// take seconds).
class WindowShowing {
 public:
  // True when the window may be shown: the run has not withdrawn it.
  bool Begin() { return Settle(State::kShown); }
  // True when the window may be up and the run must wait for it to go.
  bool Withdraw() { return !Settle(State::kWithdrawn); }

 private:
  enum class State { kOpen, kShown, kWithdrawn };
  bool Settle(State to) {
    State expected = State::kOpen;
    return state_.compare_exchange_strong(expected, to);
  }
  std::atomic<State> state_{State::kOpen};
};

// Shows the small unpacking window (the launcher's icon, its product name,
// "Unpacking…" and a bar that follows `progress`), sized for the display's
// DPI, on the calling thread until `stop` is signalled, then destroys it.
// Shows nothing when `showing` was withdrawn while it got ready. Raises
// Error when user32 or the window cannot be had, and then shows nothing.
void ShowUnpackingWindow(HANDLE stop, const WorkProgress& progress, WindowShowing& showing);

// What the window thread runs: ShowUnpackingWindow, or in tests a stand-in
// around it.
using UnpackingWindowShow = void (*)(HANDLE stop, const WorkProgress& progress, WindowShowing& showing);

}  // namespace qvn
