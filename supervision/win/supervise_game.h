#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "supervision/win/debug_event_wait.h"

namespace qvn {

// Follows the game to its end and returns its exit status. In normal mode it
// only waits. In crash capture mode this thread is the game's debugger (it
// must be the thread that created the game): it takes and counts every debug
// event, writes the monitor lines and captures the first unhandled exception
// into `dataDirectory`, taking the events through `waitForDebugEvent`.
// Failures raise Error.
std::uint32_t SuperviseGame(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory, bool crashCaptureEnabled,
                            const DebugEventWait& waitForDebugEvent);

}  // namespace qvn
