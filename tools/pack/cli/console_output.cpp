#include "tools/pack/cli/console_output.h"

#include <windows.h>

namespace qvn::pack {

ConsoleOutput::ConsoleOutput() : previousCodePage_(GetConsoleOutputCP()) {  // 0 when there is no console
  if (previousCodePage_ != 0 && previousCodePage_ != CP_UTF8) SetConsoleOutputCP(CP_UTF8);
  // The standard handle is the process's own; it is not closed here.
  standardError_ = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(standardError_, &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
    previousMode_ = mode;
    modeChanged_ = SetConsoleMode(standardError_, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  }
}

ConsoleOutput::~ConsoleOutput() {
  if (modeChanged_) SetConsoleMode(standardError_, previousMode_);
  if (previousCodePage_ != 0 && previousCodePage_ != CP_UTF8) SetConsoleOutputCP(previousCodePage_);
}

}  // namespace qvn::pack
