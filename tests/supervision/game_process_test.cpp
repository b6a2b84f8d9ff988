// The game is in its job from its creation on: while it is still suspended,
// before anything assigns it there again, the job's own process list holds it.
#include "supervision/game_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "supervision/game_job.h"
#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

TEST(GameProcess, IsListedInItsJobWhileStillSuspended) {
  UniqueGameJob job(CreateJobObjectW(nullptr, nullptr));
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueHandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
  const std::wstring game = testing::HostPathToWindows(QVN_TEST_GAME_PATH);
  const GameProcess created =
      CreateGameProcess({game, L"\"" + game + L"\" sleep 60000", job.get(), nul.get(), nul.get()});
  EXPECT_EQ(SuspendThread(created.thread.get()), 1u) << "not created suspended";

  std::vector<ULONG_PTR> buffer(2);  // the two counts, then room for one id
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  while (!QueryInformationJobObject(job.get(), JobObjectBasicProcessIdList, list,
                                    static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)), nullptr) &&
         GetLastError() == ERROR_MORE_DATA) {
    buffer.resize(1 + list->NumberOfAssignedProcesses);
    list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  }
  const ULONG_PTR* ids = list->ProcessIdList;
  const ULONG_PTR* end = ids + list->NumberOfProcessIdsInList;
  EXPECT_NE(std::find(ids, end, ULONG_PTR{GetProcessId(created.process.get())}), end) << "not in its job yet";
  TerminateProcess(created.process.get(), 1);  // the job ends it only if it holds it
}

}  // namespace
}  // namespace qvn
