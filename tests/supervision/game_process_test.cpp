// A game is in its job from its creation on: still suspended, before anything
// assigns it there again, it is in the job's own process list.
#include "supervision/win/game_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

TEST(GameProcess, IsListedInItsJobWhileStillSuspended) {
  UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  UniqueHandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
  const std::wstring game = testing::HostPathToWindows(QVN_TEST_GAME_PATH);
  const GameProcess created =
      CreateGameProcess({game, L"\"" + game + L"\" sleep 60000", job.get(), nul.get(), nul.get()});
  EXPECT_EQ(SuspendThread(created.thread.get()), 1u) << "not created suspended";

  // The job holds this one game at most: room for eight ids is enough, and a
  // query that still found it too small (ERROR_MORE_DATA) fails the test.
  ULONG_PTR buffer[1 + 8] = {};  // the two counts fill the first element
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer);
  EXPECT_TRUE(QueryInformationJobObject(job.get(), JobObjectBasicProcessIdList, list, sizeof buffer, nullptr))
      << "Windows error " << GetLastError();
  const ULONG_PTR* ids = list->ProcessIdList;
  const ULONG_PTR* end = ids + list->NumberOfProcessIdsInList;
  EXPECT_NE(std::find(ids, end, ULONG_PTR{GetProcessId(created.process.get())}), end) << "not in its job yet";
  TerminateProcess(created.process.get(), 1);
}

}  // namespace
}  // namespace qvn
