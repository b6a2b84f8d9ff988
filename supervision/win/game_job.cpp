#include "supervision/win/game_job.h"

#include "base/win/windows_error.h"

namespace qvn {
namespace {

constexpr DWORD kPollMilliseconds = 5;
constexpr DWORD kLongestWaitMilliseconds = 5000;

bool HasActiveProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr)) {
    return false;
  }
  return accounting.ActiveProcesses != 0;
}

}  // namespace

void GameJobTraits::Close(HANDLE job) {
  const LastErrorKeeper callersLastError;
  if (TerminateJobObject(job, 1)) {
    for (DWORD waited = 0; HasActiveProcesses(job) && waited < kLongestWaitMilliseconds; waited += kPollMilliseconds) {
      Sleep(kPollMilliseconds);
    }
  }
  CloseHandle(job);
}

}  // namespace qvn
