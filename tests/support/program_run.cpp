#include "tests/support/program_run.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "base/win/unique_handle.h"
#include "tests/support/scratch_directory.h"

namespace qvn::testing {
namespace {

std::wstring NewErrorFilePath() {
  static std::atomic<unsigned> counter{0};
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"qvn-stderr-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++) + L".txt";
}

UniqueHandle OpenInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("cannot open " + Narrow(path));
  return file;
}

}  // namespace

RunningProgram::RunningProgram(const std::wstring& program, const std::wstring& arguments)
    : errorFile_(NewErrorFilePath()) {
  UniqueHandle errorOutput = OpenInheritable(errorFile_, GENERIC_WRITE, CREATE_ALWAYS);
  UniqueHandle nul = OpenInheritable(L"NUL", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul.get();
  startup.hStdOutput = nul.get();
  startup.hStdError = errorOutput.get();
  std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  PROCESS_INFORMATION created = {};
  auto start = [&] {
    return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &created);
  };
  // Under load, Wine now and then loses a new process before it has run any
  // code of its own, and reports ERROR_INTERNAL_ERROR: one more try.
  if (!start() && (GetLastError() != ERROR_INTERNAL_ERROR || !start())) {
    throw std::runtime_error("cannot start " + Narrow(program) + ": " + std::to_string(GetLastError()));
  }
  CloseHandle(created.hThread);
  process_ = created.hProcess;
  processId_ = created.dwProcessId;
}

RunningProgram::~RunningProgram() {
  if (process_ != nullptr) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
  }
  DeleteFileW(errorFile_.c_str());
}

void RunningProgram::Kill() {
  TerminateProcess(process_, 9);
  WaitForSingleObject(process_, INFINITE);
}

bool RunningProgram::EndsWithin(unsigned long milliseconds) {
  return WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

ProgramResult RunningProgram::Wait() {
  WaitForSingleObject(process_, INFINITE);
  ProgramResult result;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  result.exitCode = code;
  result.standardError = ReadFileText(errorFile_);
  return result;
}

ProgramResult RunProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring&) {
  RunningProgram running(program, arguments);
  return running.Wait();
}

}  // namespace qvn::testing
