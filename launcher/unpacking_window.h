#pragma once

#include <windows.h>

#include "base/work_progress.h"

namespace qvn {

// The window's class name, by which tests find it.
inline constexpr wchar_t kUnpackingWindowClass[] = L"QuorvaneUnpacking";

// Shows the small unpacking window (the launcher's icon, its product name,
// "Unpacking…" and a bar that follows `progress`) on the calling thread
// until `stop` is signalled, then destroys it. Raises Error when user32 or
// the window cannot be had, and then shows nothing.
void ShowUnpackingWindow(HANDLE stop, const WorkProgress& progress);

}  // namespace qvn
