#pragma once

#include <windows.h>

namespace qvn {

// Waits for the next debug event of the process this thread debugs, with the
// contract of WaitForDebugEventEx: FALSE with the last error set on failure,
// ERROR_SEM_TIMEOUT when the time ran out.
class DebugEventWait {
 public:
  DebugEventWait();
  BOOL operator()(DEBUG_EVENT& event, DWORD milliseconds) const;

 private:
  using WaitFunction = BOOL(WINAPI*)(LPDEBUG_EVENT, DWORD);
  WaitFunction waitForDebugEventEx_ = nullptr;
};

}  // namespace qvn
