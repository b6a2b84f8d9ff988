#include "tools/pack/crash/exception_description.h"

#include <cstdio>

namespace qvn::pack {
namespace {

// NTSTATUS codes, from Microsoft's ntstatus.h documentation, and the code
// with which the Microsoft C++ runtime raises a C++ exception.
constexpr std::uint32_t kAccessViolation = 0xC0000005;
constexpr std::uint32_t kStackOverflow = 0xC00000FD;
constexpr std::uint32_t kIllegalInstruction = 0xC000001D;
constexpr std::uint32_t kPrivilegedInstruction = 0xC0000096;
constexpr std::uint32_t kIntegerDivideByZero = 0xC0000094;
constexpr std::uint32_t kIntegerOverflow = 0xC0000095;
constexpr std::uint32_t kBreakpoint = 0x80000003;
constexpr std::uint32_t kHeapCorruption = 0xC0000374;
constexpr std::uint32_t kFastFail = 0xC0000409;  // STATUS_STACK_BUFFER_OVERRUN, raised by __fastfail
constexpr std::uint32_t kMicrosoftCppException = 0xE06D7363;
constexpr std::uint32_t kGccCppException = 0x20474343;

std::string Hex64(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

std::string FastFailCode(std::uint64_t code) {
  // The codes of winnt.h's FAST_FAIL_ list that a game most often meets.
  switch (code) {
    case 2:
      return "2, stack cookie check failure";
    case 3:
      return "3, corrupt list entry";
    case 5:
      return "5, invalid argument";
    case 7:
      return "7, fatal application exit (abort)";
    case 10:
      return "10, invalid call target (control flow guard)";
    default:
      return std::to_string(code);
  }
}

std::string AccessViolation(const DumpException& exception) {
  if (exception.parameters.size() < 2) return "access violation";
  const char* kind = "accessing";
  switch (exception.parameters[0]) {
    case 0:
      kind = "reading";
      break;
    case 1:
      kind = "writing";
      break;
    case 8:
      kind = "executing";
      break;
    default:
      break;
  }
  return std::string("access violation ") + kind + " address " + Hex64(exception.parameters[1]);
}

std::string Words(const DumpException& exception) {
  switch (exception.code) {
    case kAccessViolation:
      return AccessViolation(exception);
    case kStackOverflow:
      return "stack overflow";
    case kIllegalInstruction:
      return "illegal instruction";
    case kPrivilegedInstruction:
      return "privileged instruction";
    case kIntegerDivideByZero:
      return "integer divide by zero";
    case kIntegerOverflow:
      return "integer overflow";
    case kBreakpoint:
      return "breakpoint";
    case kHeapCorruption:
      return "heap corruption";
    case kFastFail:
      return exception.parameters.empty() ? "fast fail" : "fast fail, code " + FastFailCode(exception.parameters[0]);
    case kMicrosoftCppException:
      return "C++ exception (Microsoft runtime)";
    case kGccCppException:
      return "C++ exception (GCC runtime)";
    default:
      return "";
  }
}

}  // namespace

std::string DescribeException(const DumpException& exception) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", exception.code);
  const std::string words = Words(exception);
  return words.empty() ? std::string("exception ") + code : words + " (" + code + ")";
}

}  // namespace qvn::pack
