#include "supervision/win/game_job.h"

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
  // Release runs on every way out, failures included: keep the caller's
  // last error for its message.
  const DWORD lastError = GetLastError();
  if (TerminateJobObject(job, 1)) {
    for (DWORD waited = 0; HasActiveProcesses(job) && waited < kLongestWaitMilliseconds; waited += kPollMilliseconds) {
      Sleep(kPollMilliseconds);
    }
  }
  CloseHandle(job);
  SetLastError(lastError);
}

}  // namespace qvn
