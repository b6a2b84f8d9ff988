#include "supervision/win/game_process.h"

#include <array>

#include "base/win/windows_error.h"
#include "supervision/win/proc_thread_attribute_list.h"

namespace qvn {

GameProcess CreateGameProcess(const GameCreation& creation) {
  // The attribute list refers to these arrays, so they live until the
  // process is created.
  std::array<HANDLE, 2> inheritedHandles = {creation.output, creation.input};
  std::array<HANDLE, 1> jobs = {creation.job};
  ProcThreadAttributeList attributeList;
  attributeList.Initialize(2);
  attributeList.SetHandleList(inheritedHandles.data(), inheritedHandles.size());
  attributeList.SetJobList(jobs.data(), jobs.size());

  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = creation.input;
  startup.StartupInfo.hStdOutput = creation.output;
  startup.StartupInfo.hStdError = creation.output;
  startup.lpAttributeList = attributeList.get();
  DWORD flags = CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW;
  if (creation.debugged) flags |= DEBUG_ONLY_THIS_PROCESS;

  std::wstring commandLine = creation.commandLine;  // CreateProcessW may write into it
  PROCESS_INFORMATION created = {};
  RequireSuccess(CreateProcessW(creation.exePath.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                nullptr, &startup.StartupInfo, &created),
                 "Cannot launch embedded game");
  GameProcess game;
  game.process.reset(created.hProcess);
  game.thread.reset(created.hThread);
  return game;
}

}  // namespace qvn
