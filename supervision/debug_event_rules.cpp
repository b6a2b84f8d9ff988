#include "supervision/debug_event_rules.h"

namespace qvn {

DebugEventAnswer AnswerDebugEvent(const DebugEventFacts& event, MonitorCounters& counters, DebugMonitorState& state) {
  DebugEventAnswer answer;
  if (event.code < counters.eventCounts.size()) ++counters.eventCounts[event.code];
  answer.closeFileHandle = event.code == kCreateProcessDebugEvent || event.code == kLoadDllDebugEvent;

  if (event.code == kExceptionDebugEvent) {
    if (event.firstChance) {
      ++counters.firstChanceExceptions;
    } else {
      ++counters.secondChanceExceptions;
    }
    if (state.initialBreakpointPending && event.firstChance && event.exceptionCode == kBreakpointExceptionCode) {
      state.initialBreakpointPending = false;
    } else {
      answer.continueStatus = kDebugExceptionNotHandled;
      if (!event.firstChance && !state.crashCaptured) {
        state.crashCaptured = true;
        answer.captureCrash = true;
      }
    }
  }
  answer.gameExited = event.code == kExitProcessDebugEvent;
  return answer;
}

}  // namespace qvn
