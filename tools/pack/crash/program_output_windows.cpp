#include "tools/pack/crash/program_output.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "base/utf8_path.h"
#include "base/win/unique_handle.h"
#include "base/win/wide_text.h"
#include "supervision/quote_argument.h"

namespace qvn::pack {

std::optional<std::string> RunProgramForOutput(const std::vector<std::string>& command) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return std::nullopt;
  UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  UniqueHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));

  std::wstring commandLine;
  for (const std::string& argument : command) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += QuoteArgument(Utf8Path(argument).wstring());
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = writer.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started = {};
  const std::wstring program = Utf8Path(command.at(0)).wstring();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &started)) {
    return std::nullopt;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  writer.reset();

  std::string output;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got != 0) output.append(buffer, got);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD status = 1;
  if (!GetExitCodeProcess(process.get(), &status) || status != 0) return std::nullopt;
  return output;
}

std::optional<std::string> FindProgramOnPath(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::wstring wide = Utf8Path(name + ".exe").wstring();
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, wide.c_str(), nullptr, MAX_PATH, found, nullptr) != 0) {
      return PathText(std::filesystem::path(found));
    }
  }
  return std::nullopt;
}

}  // namespace qvn::pack
