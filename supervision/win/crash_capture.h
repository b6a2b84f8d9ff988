#pragma once

#include <windows.h>

#include <string>

#include "base/win/unique_handle.h"

namespace qvn {

// Records the game's first unhandled exception while the debugger holds the
// game stopped at it: the crash report into the game log, crash-last.dmp and
// crash-last.txt into `dataDirectory`, each replacing the earlier one only
// once it is complete, then a capture line that says what was written. Never raises: every failure becomes part of the
// record, so a capture can never cost the run its exit status.
void CaptureCrash(HANDLE process, HANDLE logFile, const std::wstring& dataDirectory, const DEBUG_EVENT& event) noexcept;

// Opens `path` for writing as an empty file of its own. A directory, any
// reparse point or a file with a second hard link is refused before anything
// is emptied, so the capture never writes through to some other file.
UniqueHandle OpenCrashOutput(const std::wstring& path);

}  // namespace qvn
