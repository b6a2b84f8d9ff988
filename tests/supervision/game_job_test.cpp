// Releasing the game's job ends what runs in it before the handle goes.
#include "supervision/win/game_job.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

TEST(GameJob, ReleaseEndsEveryProcessInItAndKeepsTheLastError) {
  UniqueGameJob job(CreateJobObjectW(nullptr, nullptr));
  ASSERT_TRUE(job.valid());
  const std::wstring game = testing::HostPathToWindows(QVN_TEST_GAME_PATH);
  UniqueHandle processes[3];
  for (UniqueHandle& process : processes) {
    std::wstring commandLine = L"\"" + game + L"\" sleep 60000";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    ASSERT_TRUE(CreateProcessW(game.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &created));
    process.reset(created.hProcess);
    UniqueHandle thread(created.hThread);
    ASSERT_TRUE(AssignProcessToJobObject(job.get(), process.get()));
    ResumeThread(thread.get());
  }
  SetLastError(ERROR_INVALID_FUNCTION);
  job.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  for (const UniqueHandle& process : processes) EXPECT_EQ(WaitForSingleObject(process.get(), 0), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace qvn
