// The system as a player meets it: the real launcher executable carrying the
// game double, run from its own folder, checked by its exact report, its full
// exit code and what it leaves in data.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "tests/launcher/acceptance_fixture.h"

namespace qvn::testing {
namespace {

using Tree = std::vector<std::pair<std::string, std::string>>;

std::string Hex16(const std::wstring& text) {
  std::string hex;
  char unit[8] = {};
  for (wchar_t c : text) {
    std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(static_cast<std::uint16_t>(c)));
    hex += unit;
  }
  return hex;
}

std::string ExitRecord(const char* status) { return std::string("\nQVN_PORTABLE_EXIT status=") + status + "\n"; }

TEST(Acceptance, TypicalRunLeavesOnlyTheGameLog) {
  PortableLauncher launcher({{"assets/readme.txt", Text("read me")}});
  const ProgramResult result = launcher.Run(L"stdout hello stderr oops write-temp t.txt x exit 0");
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.exitCode, 0u);
  const Tree expected = {{"game.log", "hello\noops\n" + ExitRecord("0x00000000")}};
  EXPECT_EQ(ListTree(launcher.data()), expected);
}

TEST(Acceptance, AStaleRuntimeIsRemovedBeforeExtraction) {
  PortableLauncher launcher;
  const std::wstring stale = launcher.data(L"portable-runtime");
  CreateDirectoryW(launcher.data().c_str(), nullptr);
  for (const wchar_t* directory : {L"", L"\\old", L"\\old\\deeper", L"\\temp"}) {
    CreateDirectoryW((stale + directory).c_str(), nullptr);
  }
  for (const wchar_t* file : {L"\\Quorvane.exe", L"\\old\\a.txt", L"\\old\\deeper\\b.bin", L"\\temp\\t.tmp"}) {
    WriteFileText(stale + file, "left by a killed run");
  }
  const ProgramResult result = launcher.Run(L"exit 0");
  EXPECT_EQ(result.standardError, "");
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_FALSE(PathExists(stale));
}

TEST(Acceptance, NonZeroStatusesReachThePlayerAndTheExitCode) {
  struct Case {
    std::wstring arguments;
    std::uint32_t status;
    const char* record;
  };
  const Case cases[] = {
      {L"crash-av 0", 0xC0000005u, "0xC0000005"},
      {L"exit 3", 3u, "0x00000003"},
      {L"exit 0xFFFFFFFF", 0xFFFFFFFFu, "0xFFFFFFFF"},
  };
  for (const Case& c : cases) {
    PortableLauncher launcher;
    const ProgramResult result = launcher.Run(c.arguments);
    EXPECT_EQ(result.standardError, launcher.ExitNotice(c.status)) << Narrow(c.arguments);
    EXPECT_EQ(result.exitCode, c.status) << Narrow(c.arguments);
    const std::string log = ReadFileText(launcher.data(L"game.log"));
    EXPECT_TRUE(log.ends_with(ExitRecord(c.record))) << log;
    EXPECT_FALSE(PathExists(launcher.data(L"portable-runtime")));
    EXPECT_FALSE(PathExists(launcher.data(L"portable.lock")));
  }
}

TEST(Acceptance, GameSeesItsArgumentsAndEnvironment) {
  PortableLauncher launcher;
  ScopedVariable script(L"QVN_TEST_GAME_COMMANDS", GameScript({L"args", L"env", L"exit", L"0"}));
  ScopedVariable noHeap(L"_NO_DEBUG_HEAP", std::nullopt);
  // Each argument as the launcher's own command line carries it.
  const std::vector<std::pair<std::wstring, std::wstring>> arguments = {
      {L"plain", L"plain"},
      {L"\"a b\"", L"a b"},
      {L"a\\b", L"a\\b"},
      {L"\"a\\\"b\"", L"a\"b"},
      {L"\"a\\\\\\\"b\"", L"a\\\"b"},
      {L"\"a\\\\\"", L"a\\"},
      {L"\"\"", L""},
      {L"\"caf\u00E9 \u65E5\u672C\"", L"caf\u00E9 \u65E5\u672C"},
  };
  std::wstring commandLine;
  for (const auto& [quoted, plain] : arguments) commandLine += (commandLine.empty() ? L"" : L" ") + quoted;
  const ProgramResult result = launcher.Run(commandLine);
  ASSERT_EQ(result.exitCode, 0u) << result.standardError;

  std::string expected = "argc=" + std::to_string(arguments.size() + 1) + "\n";
  expected += "arg " + Hex16(launcher.data(L"portable-runtime\\Quorvane.exe")) + "\n";
  for (const auto& [quoted, plain] : arguments) expected += "arg " + Hex16(plain) + "\n";
  const std::string data = Narrow(launcher.data());
  const std::string temp = Narrow(launcher.data(L"portable-runtime\\temp"));
  expected += "env APP_FOLDER_PATH=" + data + "\n";
  expected += "env QVN_PORTABLE_ARTIFACT=" + Narrow(launcher.exe()) + "\n";
  expected += "env TEMP=" + temp + "\nenv TMP=" + temp + "\n";
  expected += "env QVN_CRASH_CAPTURE absent\nenv _NO_DEBUG_HEAP absent\n";
  EXPECT_EQ(ReadFileText(launcher.data(L"game.log")), expected + ExitRecord("0x00000000"));
}

TEST(Acceptance, SecondLauncherBesideARunningOneIsRefused) {
  PortableLauncher launcher({{"assets/a.txt", Text("asset")}});
  RunningProgram first(launcher.exe(), L"stdout started sleep 3000 exit 0");
  ASSERT_TRUE(WaitForPath(launcher.data(L"portable-runtime\\assets\\a.txt")));
  const ProgramResult second = launcher.Run(L"exit 7");
  EXPECT_EQ(second.standardError,
            Report("Portable game already running or data directory not writable (Windows error 32)"));
  EXPECT_EQ(second.exitCode, 1u);
  EXPECT_EQ(ReadFileText(launcher.data(L"portable-runtime\\assets\\a.txt")), "asset");
  const ProgramResult firstResult = first.Wait();
  EXPECT_EQ(firstResult.exitCode, 0u);
  EXPECT_EQ(ReadFileText(launcher.data(L"game.log")), "started\n" + ExitRecord("0x00000000"));
}

TEST(Acceptance, LinksPlantedInDataAreRefusedAndTheirTargetsKept) {
  struct Case {
    const wchar_t* planted;
    bool crashCapture;
    std::wstring arguments;
    std::string expectedReport;  // empty: the exit notice of the status below
    std::uint32_t exitCode;
  };
  const Case cases[] = {
      {L"game.log", false, L"exit 0", "Portable game log cannot be a link", 1},
      {L"crash-last.txt", true, L"crash-av 0", "", 0xC0000005u},
  };
  for (const Case& c : cases) {
    PortableLauncher launcher;
    CreateDirectoryW(launcher.data().c_str(), nullptr);
    const std::wstring outside = launcher.scratch() / L"outside.txt";
    WriteFileText(outside, "outside the data directory");
    ASSERT_TRUE(CreateHardLinkW(launcher.data(c.planted).c_str(), outside.c_str(), nullptr));
    ScopedVariable capture(L"QVN_CRASH_CAPTURE", c.crashCapture ? std::optional<std::wstring>(L"1") : std::nullopt);
    const ProgramResult result = launcher.Run(c.arguments);
    const std::string report = c.expectedReport.empty() ? launcher.ExitNotice(c.exitCode) : Report(c.expectedReport);
    EXPECT_EQ(result.standardError, report) << Narrow(c.planted);
    EXPECT_EQ(result.exitCode, c.exitCode) << Narrow(c.planted);
    EXPECT_EQ(ReadFileText(outside), "outside the data directory") << Narrow(c.planted);
    EXPECT_EQ(ReadFileText(launcher.data(c.planted)), "outside the data directory") << Narrow(c.planted);
    EXPECT_FALSE(PathExists(launcher.data(L"portable-runtime")));
  }
}

TEST(Acceptance, CrashCaptureLeavesADumpAndAReport) {
  PortableLauncher launcher;
  ScopedVariable capture(L"QVN_CRASH_CAPTURE", L"1");
  const ProgramResult result = launcher.Run(L"stdout before crash-av 0x10");
  EXPECT_EQ(result.standardError, launcher.ExitNotice(0xC0000005u));
  EXPECT_EQ(result.exitCode, 0xC0000005u);
  const std::string log = ReadFileText(launcher.data(L"game.log"));
  const std::string report = ReadFileText(launcher.data(L"crash-last.txt"));
  EXPECT_TRUE(
      log.starts_with("QVN_LAUNCH_HEAP policy=release_default fatal_capture=enabled\n"
                      "QVN_CRASH_MONITOR armed=1 owner=portable-parent mode=fatal-exception\n"))
      << log;
  EXPECT_NE(log.find("before\n" + report), std::string::npos) << log;
  EXPECT_NE(report.find("exception_code=0xC0000005"), std::string::npos) << report;
  EXPECT_NE(report.find("parameter1=0x10\n"), std::string::npos) << report;
  EXPECT_NE(log.find("\nQVN_PORTABLE_CRASH_CAPTURE dump_written=1 dump_error=0 report_written=1 report_error=0\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(log.ends_with(ExitRecord("0xC0000005"))) << log;
  const std::vector<std::uint8_t> dump = ReadFileBytes(launcher.data(L"crash-last.dmp"));
  ASSERT_GE(dump.size(), 4u);
  EXPECT_EQ(std::string(dump.begin(), dump.begin() + 4), "MDMP");
  EXPECT_FALSE(PathExists(launcher.data(L"portable-runtime")));
}

TEST(Acceptance, ACrashDumpNamePlantedAsADirectoryOnlyCostsTheDump) {
  PortableLauncher launcher;
  CreateDirectoryW(launcher.data().c_str(), nullptr);
  CreateDirectoryW(launcher.data(L"crash-last.dmp").c_str(), nullptr);
  ScopedVariable capture(L"QVN_CRASH_CAPTURE", L"1");
  const ProgramResult result = launcher.Run(L"crash-av 0");
  EXPECT_EQ(result.exitCode, 0xC0000005u);
  const std::string log = ReadFileText(launcher.data(L"game.log"));
  EXPECT_NE(log.find("Cannot open crash output (Windows error "), std::string::npos) << log;
  EXPECT_NE(log.find("QVN_PORTABLE_CRASH_CAPTURE dump_written=0"), std::string::npos) << log;
  EXPECT_NE(log.find("report_written=1 report_error=0\n"), std::string::npos) << log;
  EXPECT_TRUE(IsDirectory(launcher.data(L"crash-last.dmp")));
  EXPECT_TRUE(ReadFileText(launcher.data(L"crash-last.txt")).starts_with("QVN_PORTABLE_CRASH version="));
}

}  // namespace
}  // namespace qvn::testing
