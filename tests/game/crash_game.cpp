// A game that crashes as its first argument says, three calls deep, so that
// `qvn_pack crash` can be checked against real dumps. Built with debug
// information and without optimisation, so every planted function keeps
// its own frame; each planted function stays on one line, which is then
// both its definition's line and the line of the call or fault it makes.
//
//   null-write     a write through a null pointer in a leaf function
//   dll            the same inside qvn_crash_game_dll.dll, which it imports
//   overflow       a stack overflow by recursion
//   fast-fail      __fastfail(7), as the C runtime's abort does
//   throw          an uncaught C++ exception; the terminate handler fails
//                  fast, as an MSVC build's abort would
//   msvc-throw     the exception code with which the Microsoft C++ runtime
//                  throws, raised from a leaf
//   divide         an integer division by zero
#include <windows.h>

#include <exception>
#include <stdexcept>
#include <string>

extern "C" __declspec(dllimport) void CrashGameDllEntry(int* target);

namespace {

constexpr DWORD kMicrosoftCppException = 0xE06D7363;

[[gnu::noinline]] void PlantedLeafWritesNull(int* target) { *target = 7; }
[[gnu::noinline]] void PlantedMiddle(int* target) { PlantedLeafWritesNull(target); }
[[gnu::noinline]] void PlantedOuter(int* target) { PlantedMiddle(target); }

[[gnu::noinline]] void PlantedCallsDll(int* target) { CrashGameDllEntry(target); }

[[gnu::noinline]] int PlantedRecursion(int depth) {
  volatile char frame[8192];
  frame[0] = static_cast<char>(depth);
  // Always true, but the compiler cannot know, so it neither refuses the
  // endless recursion nor turns it into a loop.
  volatile bool deeper = true;
  return (deeper ? PlantedRecursion(depth + 1) : 0) + frame[0];
}

[[gnu::noinline]] void PlantedFastFail() { asm volatile("movl $7, %%ecx\n\tint $0x29" ::: "ecx", "memory"); }
[[gnu::noinline]] void PlantedCallsFastFail() { PlantedFastFail(); }

[[noreturn]] void PlantedTerminateHandler() {
  PlantedFastFail();
  __builtin_unreachable();
}
[[gnu::noinline]] void PlantedThrow() { throw std::runtime_error("planted"); }
[[gnu::noinline]] void PlantedCallsThrow() { PlantedThrow(); }

[[gnu::noinline]] void PlantedMsvcThrow() {
  RaiseException(kMicrosoftCppException, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}
[[gnu::noinline]] void PlantedCallsMsvcThrow() { PlantedMsvcThrow(); }

[[gnu::noinline]] int PlantedDivide(int divisor) {
  volatile int zero = divisor;
  return 100 / zero;
}
[[gnu::noinline]] int PlantedCallsDivide(int divisor) { return PlantedDivide(divisor); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring kind = argc > 1 ? argv[1] : L"";
  std::set_terminate(PlantedTerminateHandler);
  if (kind == L"null-write") PlantedOuter(nullptr);
  if (kind == L"dll") PlantedCallsDll(nullptr);
  if (kind == L"overflow") return PlantedRecursion(0);
  if (kind == L"fast-fail") PlantedCallsFastFail();
  if (kind == L"throw") PlantedCallsThrow();
  if (kind == L"msvc-throw") PlantedCallsMsvcThrow();
  if (kind == L"divide") return PlantedCallsDivide(0);
  return 3;
}
