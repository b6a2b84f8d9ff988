#pragma once

#include <windows.h>

#include <string>

namespace qvn {

// Raises a Error carrying the calling thread's last error, which the
// caller must read right after the failing call.
[[noreturn]] void RaiseLastError(const std::string& text);

// For calls that report failure with a zero result.
void RequireSuccess(BOOL succeeded, const std::string& text);

// Keeps the last error of a failed step while clean-up calls run, and puts it
// back when it leaves scope, so the message names the step that failed.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : code_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(code_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;
  DWORD code() const { return code_; }

 private:
  DWORD code_;
};

}  // namespace qvn
