#pragma once

#include <windows.h>

#include <string>

#include "base/win/unique_handle.h"

namespace qvn {

// What the game is started as: its program and command line, the job it
// starts in, and the only handles it inherits, `input` as its standard input
// and `output` as its standard output and error.
struct GameCreation {
  std::wstring exePath;
  std::wstring commandLine;
  HANDLE job = nullptr;
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  bool debugged = false;  // as a debuggee of the calling thread
};

// The game's process and its first thread. The thread is released first.
struct GameProcess {
  UniqueHandle process;
  UniqueHandle thread;
};

// Creates the game suspended and already inside its job, so that no moment
// exists at which a killed launcher could leave a game that nothing ends,
// and so that it runs no code of its own before its caller has confirmed
// the job and resumes it. Raises "Cannot launch embedded game" (or the
// attribute list's own failures) with the Windows error code.
GameProcess CreateGameProcess(const GameCreation& creation);

}  // namespace qvn
