// RunGame in this process against the test game, in normal mode: what the
// game is given, where its output goes, how its end is recorded.
#include "supervision/win/run_game.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/win/module_path.h"
#include "tests/supervision/game_run_fixture.h"

namespace qvn::testing {
namespace {

std::map<std::string, std::string> GameEnvironment(const std::string& log) {
  std::map<std::string, std::string> variables;
  for (const std::string& line : SplitLines(log)) {
    if (line.rfind("env ", 0) != 0) continue;
    const std::string entry = line.substr(4);
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      variables[entry.substr(0, entry.find(' '))] = "<absent>";
    } else {
      variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
  }
  return variables;
}

std::string ValueOrAbsent(const std::optional<std::wstring>& value) { return value ? ToUtf8(*value) : "<absent>"; }

TEST(RunGameEnvironment, NormalModeGivesThePortableVariablesAndLeavesTheOthers) {
  struct Case {
    std::optional<std::wstring> crashCapture;
    std::optional<std::wstring> debugHeap;
  };
  // Only exactly "1" chooses crash capture; every one of these is normal mode.
  const Case cases[] = {
      {std::nullopt, std::nullopt}, {L"11", std::nullopt}, {L"0", L"0"}, {L"", std::nullopt}, {L"2", L""},
  };
  for (const Case& c : cases) {
    GameRunFixture fixture;
    ScopedVariable crashCapture(L"QVN_CRASH_CAPTURE", c.crashCapture);
    ScopedVariable debugHeap(L"_NO_DEBUG_HEAP", c.debugHeap);
    ASSERT_EQ(fixture.Run({L"env"}), 0u);
    const std::string log = ReadFileBytes(fixture.gameLogPath());
    const std::string context = "QVN_CRASH_CAPTURE=" + ValueOrAbsent(c.crashCapture);
    EXPECT_EQ(log.rfind("env APP_FOLDER_PATH=", 0), 0u) << context << "\n" << log;  // nothing of ours first

    std::map<std::string, std::string> seen = GameEnvironment(log);
    EXPECT_EQ(seen["APP_FOLDER_PATH"], ToUtf8(fixture.dataDirectory())) << context;
    EXPECT_EQ(seen["QVN_PORTABLE_ARTIFACT"], ToUtf8(GetLauncherPath())) << context;
    EXPECT_EQ(seen["TEMP"], ToUtf8(fixture.runtimeDirectory() + L"\\temp")) << context;
    EXPECT_EQ(seen["TMP"], ToUtf8(fixture.runtimeDirectory() + L"\\temp")) << context;
    EXPECT_EQ(seen["QVN_CRASH_CAPTURE"], ValueOrAbsent(c.crashCapture)) << context;
    EXPECT_EQ(seen["_NO_DEBUG_HEAP"], ValueOrAbsent(c.debugHeap)) << context;
    EXPECT_EQ(log.find("QVN_LAUNCH_HEAP"), std::string::npos) << context;
  }
}

TEST(RunGameLog, GameOutputLandsInTheLogWithEmptyInputAndNoOtherHandles) {
  GameRunFixture fixture;
  // An inheritable handle of the launcher that must not leak into the game.
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE leakCandidate = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(leakCandidate, nullptr);

  const std::uint32_t status =
      fixture.Run({L"stdout", L"to standard output", L"stderr", L"to standard error", L"stdin", L"handles", L"cwd"});
  CloseHandle(leakCandidate);

  wchar_t currentDirectory[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(MAX_PATH * 4, currentDirectory);
  EXPECT_EQ(status, 0u);
  // The log and the input, and nothing else; stdout and stderr share the log.
  EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()),
            "to standard output\nto standard error\nstdin_bytes=0\ninheritable_handles=2\ncwd=" +
                ToUtf8(currentDirectory) + "\n\nQVN_PORTABLE_EXIT status=0x00000000\n");
}

TEST(RunGameLog, EveryLaunchStartsTheLogAfresh) {
  GameRunFixture fixture;
  WriteFileBytes(fixture.gameLogPath(), std::string(10000, 'x') + "\nQVN_PORTABLE_EXIT status=0x00000001\n");
  ASSERT_EQ(fixture.Run({L"stdout", L"fresh"}), 0u);
  EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()), "fresh\n\nQVN_PORTABLE_EXIT status=0x00000000\n");
  ASSERT_EQ(fixture.Run({L"stdout", L"again"}), 0u);
  EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()), "again\n\nQVN_PORTABLE_EXIT status=0x00000000\n");
}

TEST(RunGameLog, HardLinkedLogIsRefusedAndNeitherNameChanges) {
  GameRunFixture fixture;
  const std::wstring secondName = fixture.dataDirectory() + L"\\second-name.txt";
  WriteFileBytes(fixture.gameLogPath(), "earlier contents\n");
  ASSERT_TRUE(CreateHardLinkW(secondName.c_str(), fixture.gameLogPath().c_str(), nullptr));

  try {
    fixture.Run({L"write-temp", L"game-ran", L"yes"});
    ADD_FAILURE() << "a linked log was accepted";
  } catch (const Error& failure) {
    EXPECT_STREQ(failure.what(), "Portable game log cannot be a link");
  }
  EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()), "earlier contents\n");
  EXPECT_EQ(ReadFileBytes(secondName), "earlier contents\n");
  EXPECT_FALSE(FileExists(fixture.runtimeDirectory() + L"\\temp\\game-ran"));
}

TEST(RunGameExit, FullStatusIsReturnedAndRecordedLast) {
  struct Case {
    std::vector<std::wstring> commands;
    std::uint32_t status;
    std::string log;
  };
  const Case cases[] = {
      {{L"exit", L"0"}, 0, "\nQVN_PORTABLE_EXIT status=0x00000000\n"},
      {{L"exit", L"3"}, 3, "\nQVN_PORTABLE_EXIT status=0x00000003\n"},
      {{L"exit", L"0xFFFFFFFF"}, 0xFFFFFFFF, "\nQVN_PORTABLE_EXIT status=0xFFFFFFFF\n"},
      {{L"crash-av", L"0x20"}, 0xC0000005, "\nQVN_PORTABLE_EXIT status=0xC0000005\n"},
      // Output without a final line feed: the record still starts a line.
      {{L"stdout", L"partial", L"exit", L"7"}, 7, "partial\n\nQVN_PORTABLE_EXIT status=0x00000007\n"},
  };
  for (const Case& c : cases) {
    GameRunFixture fixture;
    EXPECT_EQ(fixture.Run(c.commands), c.status) << c.log;
    EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()), c.log);
  }
}

TEST(RunGameJob, ProcessLeftRunningByTheGameEndsWithTheJob) {
  GameRunFixture fixture;
  ASSERT_EQ(fixture.Run({L"spawn-sleeper", L"600000"}), 0u);
  const std::string log = ReadFileBytes(fixture.gameLogPath());
  const std::size_t at = log.find("child_pid=");
  ASSERT_NE(at, std::string::npos) << log;
  const DWORD childId = std::stoul(log.substr(at + 10));

  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, childId);
  if (child != nullptr) {
    // Bounded only so that a surviving child fails the test instead of
    // hanging it; the job ends it at once.
    EXPECT_EQ(WaitForSingleObject(child, 30000), WAIT_OBJECT_0);
    CloseHandle(child);
  }
  EXPECT_TRUE(DeleteFileW(fixture.exePath().c_str())) << GetLastError();
}

// The game's arguments are the launcher's own, here those of this test
// program, whatever CTest passed: each must arrive unchanged, with the game's
// path in the place of argument 0.
TEST(RunGameArguments, GameReceivesTheLaunchersArguments) {
  GameRunFixture fixture;
  ASSERT_EQ(fixture.Run({L"args"}), 0u);
  int count = 0;
  LPWSTR* own = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(own, nullptr);
  std::string expected = "argc=" + std::to_string(count) + "\narg " + HexUnits(fixture.exePath()) + "\n";
  for (int index = 1; index < count; ++index) expected += "arg " + HexUnits(own[index]) + "\n";
  LocalFree(own);
  EXPECT_EQ(ReadFileBytes(fixture.gameLogPath()), expected + "\nQVN_PORTABLE_EXIT status=0x00000000\n");
}

}  // namespace
}  // namespace qvn::testing
