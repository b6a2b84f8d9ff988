#include "supervision/debug_event_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace qvn {
namespace {

constexpr std::uint32_t kAccessViolation = 0xC0000005;
constexpr std::uint32_t kCppException = 0x20474343;

struct Step {
  DebugEventFacts event;
  std::uint32_t continueStatus;
  bool capture;
};

// One table per rule: a sequence of events as a game raises them and the
// answer each must get.
void Replay(const char* name, const std::vector<Step>& steps, MonitorCounters& counters) {
  DebugMonitorState state;
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const DebugEventAnswer answer = AnswerDebugEvent(steps[index].event, counters, state);
    EXPECT_EQ(answer.continueStatus, steps[index].continueStatus) << name << " step " << index;
    EXPECT_EQ(answer.captureCrash, steps[index].capture) << name << " step " << index;
  }
}

TEST(DebugEventRules, OnlyTheLoaderBreakpointIsSwallowedAndOnlyTheFirstUnhandledOneCaptured) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"loader breakpoint, then a later breakpoint",
       {{{3}, kDebugContinue, false},
        {{1, true, kBreakpointExceptionCode}, kDebugContinue, false},
        {{1, true, kBreakpointExceptionCode}, kDebugExceptionNotHandled, false},
        {{1, false, kBreakpointExceptionCode}, kDebugExceptionNotHandled, true}}},
      {"an exception before any breakpoint does not use up the loader's",
       {{{1, true, kCppException}, kDebugExceptionNotHandled, false},
        {{1, true, kBreakpointExceptionCode}, kDebugContinue, false}}},
      {"a second-chance breakpoint is never the loader's",
       {{{1, false, kBreakpointExceptionCode}, kDebugExceptionNotHandled, true}}},
      {"handled first chances, then a crash, then another second chance",
       {{{1, true, kBreakpointExceptionCode}, kDebugContinue, false},
        {{1, true, kCppException}, kDebugExceptionNotHandled, false},
        {{1, true, kAccessViolation}, kDebugExceptionNotHandled, false},
        {{1, false, kAccessViolation}, kDebugExceptionNotHandled, true},
        {{1, false, kAccessViolation}, kDebugExceptionNotHandled, false},
        {{5}, kDebugContinue, false}}},
      {"every other event continues",
       {{{2}, kDebugContinue, false},
        {{4}, kDebugContinue, false},
        {{6}, kDebugContinue, false},
        {{7}, kDebugContinue, false},
        {{8}, kDebugContinue, false},
        {{9}, kDebugContinue, false},
        {{10}, kDebugContinue, false},
        {{0xFFFFFFFF}, kDebugContinue, false}}},
  };
  for (const Case& c : cases) {
    MonitorCounters counters;
    Replay(c.name, c.steps, counters);
  }
}

TEST(DebugEventRules, EveryEventIsCountedByCodeAndChance) {
  MonitorCounters counters;
  Replay("a short life",
         {{{3}, kDebugContinue, false},
          {{6}, kDebugContinue, false},
          {{6}, kDebugContinue, false},
          {{1, true, kBreakpointExceptionCode}, kDebugContinue, false},
          {{2}, kDebugContinue, false},
          {{8}, kDebugContinue, false},
          {{1, true, kAccessViolation}, kDebugExceptionNotHandled, false},
          {{1, false, kAccessViolation}, kDebugExceptionNotHandled, true},
          {{10}, kDebugContinue, false},
          {{12}, kDebugContinue, false},
          {{5}, kDebugContinue, false}},
         counters);
  const std::array<std::uint64_t, 10> expected = {0, 3, 1, 1, 0, 1, 2, 0, 1, 0};
  EXPECT_EQ(counters.eventCounts, expected);
  EXPECT_EQ(counters.firstChanceExceptions, 2u);
  EXPECT_EQ(counters.secondChanceExceptions, 1u);
}

TEST(DebugEventRules, FileHandlesAreClosedForImageAndDllEventsAndTheExitEndsTheGame) {
  struct Case {
    std::uint32_t code;
    bool closeFile;
    bool exited;
  };
  const Case cases[] = {{1, false, false}, {2, false, false}, {3, true, false},  {4, false, false}, {5, false, true},
                        {6, true, false},  {7, false, false}, {8, false, false}, {9, false, false}, {10, false, false}};
  for (const Case& c : cases) {
    MonitorCounters counters;
    DebugMonitorState state;
    const DebugEventAnswer answer = AnswerDebugEvent({c.code, true, kAccessViolation}, counters, state);
    EXPECT_EQ(answer.closeFileHandle, c.closeFile) << c.code;
    EXPECT_EQ(answer.gameExited, c.exited) << c.code;
  }
}

}  // namespace
}  // namespace qvn
