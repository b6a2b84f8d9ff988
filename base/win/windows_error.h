#pragma once

#include <windows.h>

#include <string>

namespace qvn {

// Raises an Error that keeps the calling thread's last error as its code:
// call it right after the failing call, before anything else can change it.
[[noreturn]] void RaiseLastError(const std::string& text);

// For calls that report failure with a zero result.
void RequireSuccess(BOOL succeeded, const std::string& text);

// Keeps the thread's last error while clean-up calls run, and puts it back
// when it leaves scope: a release that runs on every way out, failures
// included, leaves its caller's last error as it found it.
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
