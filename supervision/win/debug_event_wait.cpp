#include "supervision/win/debug_event_wait.h"

namespace qvn {

DebugEventWait::DebugEventWait() {
  // Looked up at run time, never imported: Wine 8.0 lacks WaitForDebugEventEx
  // and a static import lands on a stub that aborts the launcher. Where it is
  // missing, WaitForDebugEvent serves, since only the debug strings differ
  // (wide rather than narrow) and the monitor never reads them.
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 != nullptr) {
    waitForDebugEventEx_ =
        reinterpret_cast<WaitFunction>(reinterpret_cast<void*>(GetProcAddress(kernel32, "WaitForDebugEventEx")));
  }
}

BOOL DebugEventWait::operator()(DEBUG_EVENT& event, DWORD milliseconds) const {
  if (waitForDebugEventEx_ != nullptr) return waitForDebugEventEx_(&event, milliseconds);
  return WaitForDebugEvent(&event, milliseconds);
}

}  // namespace qvn
