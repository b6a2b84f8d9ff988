// The game double of the launch benchmark, stored as Quorvane.exe: writes
// the moment it started to its standard output (the launcher's game.log)
// on the clock the bench runner reads, and exits 0 at once. GUI subsystem,
// so that Wine starts no console host for it.

#include <windows.h>

#include <string>

#include "bench/launch_clock.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::string line = qvn::bench::GameStartLine(qvn::bench::PreciseNow());
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return 0;
}
