#pragma once

#include <cstdint>
#include <string>

namespace qvn::testing {

struct ProgramResult {
  std::uint32_t exitCode = 0;
  std::string standardError;  // what the program wrote to its standard error
};

// Runs a program to its end with standard error in a file, standard input and
// output on NUL, and returns its full 32-bit exit code.
ProgramResult RunProgram(const std::wstring& program, const std::wstring& arguments = L"",
                         const std::wstring& workingDirectory = L"");

// Starts a program with the same handles and returns at once; the caller
// waits. Used where a test acts while the program runs.
class RunningProgram {
 public:
  RunningProgram(const std::wstring& program, const std::wstring& arguments);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  ProgramResult Wait();
  // Whether the program ends within `milliseconds`.
  bool EndsWithin(unsigned long milliseconds);
  void Kill();
  unsigned long processId() const { return processId_; }

 private:
  void* process_ = nullptr;
  unsigned long processId_ = 0;
  std::wstring errorFile_;
};

}  // namespace qvn::testing
