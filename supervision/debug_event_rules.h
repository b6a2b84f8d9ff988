#pragma once

#include <cstdint>

#include "supervision/monitor_counters.h"

namespace qvn {

// How the debug event monitor counts and answers each debug event, apart
// from the platform calls, so the rules can be checked event by event.

inline constexpr std::uint32_t kDebugContinue = 0x00010002;             // DBG_CONTINUE
inline constexpr std::uint32_t kDebugExceptionNotHandled = 0x80010001;  // DBG_EXCEPTION_NOT_HANDLED
inline constexpr std::uint32_t kBreakpointExceptionCode = 0x80000003;   // EXCEPTION_BREAKPOINT

inline constexpr std::uint32_t kExceptionDebugEvent = 1;
inline constexpr std::uint32_t kCreateProcessDebugEvent = 3;
inline constexpr std::uint32_t kExitProcessDebugEvent = 5;
inline constexpr std::uint32_t kLoadDllDebugEvent = 6;

struct DebugEventFacts {
  std::uint32_t code = 0;
  // Only for exception events.
  bool firstChance = false;
  std::uint32_t exceptionCode = 0;
};

// What the monitor remembers between events.
struct DebugMonitorState {
  bool initialBreakpointPending = true;
  bool crashCaptured = false;
};

struct DebugEventAnswer {
  std::uint32_t continueStatus = kDebugContinue;
  // The event carries a file handle (image or DLL) that the debugger owns.
  bool closeFileHandle = false;
  // Capture this exception before continuing it; at most once per run.
  bool captureCrash = false;
  bool gameExited = false;
};

// Counts the event in `counters` and decides its answer. The loader's first
// breakpoint is the only exception the monitor swallows; every other one goes
// back to the game, whose own handlers must see it as without a debugger.
DebugEventAnswer AnswerDebugEvent(const DebugEventFacts& event, MonitorCounters& counters, DebugMonitorState& state);

}  // namespace qvn
