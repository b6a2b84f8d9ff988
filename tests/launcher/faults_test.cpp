// Hostile payloads and faults met by the real launcher executable: each ends
// in its exact report and exit code, loses nothing, and the next run works.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tlhelp32.h>
#include <vector>

#include "base/win/unique_handle.h"
#include "payload/payload_container_writer.h"
#include "tests/launcher/acceptance_fixture.h"

namespace qvn::testing {
namespace {

using Tree = std::vector<std::pair<std::string, std::string>>;
using Records = std::vector<ContainerRecord>;

Records GameRecords() {
  Records records;
  for (const TestFile& file : GameFiles()) records.push_back(RecordFor(file));
  return records;
}

Records WithFile(const std::string& name, const std::string& contents = "x") {
  Records records = GameRecords();
  records.push_back(RecordFor({name, Text(contents)}));
  return records;
}

// A tree planted in data before the run, which a refused payload must leave
// exactly as it was.
void PlantEarlierRun(const PortableLauncher& launcher) {
  CreateDirectoryW(launcher.data().c_str(), nullptr);
  WriteFileText(launcher.data(L"game.log"), "log of an earlier run\n");
  WriteFileText(launcher.data(L"crash-last.txt"), "report of an earlier crash\n");
  WriteFileText(launcher.data(L"crash-last.dmp"), "MDMP earlier dump");
}

TEST(HostilePayloads, AreRefusedWithTheirReportAndDataUnchanged) {
  struct Case {
    std::string name;
    std::function<std::vector<std::uint8_t>()> payload;
    std::string report;
  };
  auto container = [](const Records& records) { return WritePayloadContainer(records); };
  auto damaged = [&](const std::function<void(ContainerRecord&)>& change) {
    Records records = WithFile("assets/data.bin", std::string(4000, 'd') + "end");
    change(records.back());
    return container(records);
  };
  const std::vector<Case> cases = {
      {"wrong magic",
       [&] {
         auto p = container(GameRecords());
         p[0] = 'q';
         return p;
       },
       "Unsupported portable payload format"},
      {"truncated",
       [&] {
         auto p = container(GameRecords());
         p.resize(p.size() - 1);
         return p;
       },
       "Truncated portable payload"},
      {"trailing byte",
       [&] {
         auto p = container(GameRecords());
         p.push_back(0);
         return p;
       },
       "Incomplete or trailing portable payload data"},
      {"no game",
       [&] {
         return container({RecordFor({"bin/Quorvane.exe", Text("MZ")})});
       },
       "Incomplete or trailing portable payload data"},
      {"device name", [&] { return container(WithFile("CON")); },
       "Reserved Windows device filename in portable payload"},
      {"device stem in a directory", [&] { return container(WithFile("aux/readme.txt")); },
       "Reserved Windows device filename in portable payload"},
      {"parent component", [&] { return container(WithFile("a/../b")); }, "Unsafe portable path component"},
      {"absolute", [&] { return container(WithFile("/abs.txt")); }, "Unsafe portable path component"},
      {"trailing dot", [&] { return container(WithFile("readme.")); }, "Unsafe portable path component"},
      {"nine components", [&] { return container(WithFile("1/2/3/4/5/6/7/8/9")); }, "Unsafe portable path component"},
      {"backslash", [&] { return container(WithFile("a\\b")); }, "Unsafe portable filename"},
      {"drive colon", [&] { return container(WithFile("C:x")); }, "Unsafe portable filename"},
      {"space", [&] { return container(WithFile("a b")); }, "Unsafe portable filename"},
      {"non-ASCII", [&] { return container(WithFile("caf\xC3\xA9")); }, "Unsafe portable filename"},
      {"201-byte name", [&] { return container(WithFile(std::string(201, 'n'))); }, "Invalid portable filename length"},
      {"reserved state file", [&] { return container(WithFile("Portable.TXT")); },
       "Reserved portable state path in runtime payload"},
      {"reserved state folder", [&] { return container(WithFile("DATA/save.bin")); },
       "Reserved portable state path in runtime payload"},
      {"case clash", [&] { return container(WithFile("QUORVANE.EXE")); }, "Conflicting portable payload paths"},
      {"file and directory with a key between",
       [&] {
         Records r = WithFile("a");
         r.push_back(RecordFor({"a.txt", Text("t")}));
         r.push_back(RecordFor({"a/b", Text("b")}));
         return container(r);
       },
       "Conflicting portable payload paths"},
      {"damaged stream", [&] { return damaged([](ContainerRecord& r) { r.storedData[30] ^= 0xFF; }); },
       "Portable runtime decompression failed (Windows error 605)"},
      {"stream longer than its entry", [&] { return damaged([](ContainerRecord& r) { r.expandedSize -= 1; }); },
       "Portable runtime decompression failed (Windows error 122)"},
      {"stream one byte short", [&] { return damaged([](ContainerRecord& r) { r.expandedSize += 1; }); },
       "Portable expanded file size mismatch"},
      {"wrong file digest", [&] { return damaged([](ContainerRecord& r) { r.digest[0] ^= 1; }); },
       "Portable file SHA-256 mismatch"},
      {"entry named temp", [&] { return container(WithFile("temp")); },
       "Cannot create portable runtime file (Windows error 80)"},
  };
  for (const Case& c : cases) {
    PortableLauncher launcher(c.payload());
    PlantEarlierRun(launcher);
    const Tree before = ListTree(launcher.data());
    const ProgramResult result = launcher.Run(L"exit 0");
    EXPECT_EQ(result.standardError, Report(c.report)) << c.name;
    EXPECT_EQ(result.exitCode, 1u) << c.name;
    EXPECT_EQ(ListTree(launcher.data()), before) << c.name;
  }
}

void ExpectNextRunSucceeds(const PortableLauncher& launcher) {
  const ProgramResult next = launcher.Run(L"stdout again exit 0");
  EXPECT_EQ(next.standardError, "");
  EXPECT_EQ(next.exitCode, 0u);
  EXPECT_FALSE(PathExists(launcher.data(L"portable-runtime")));
  EXPECT_EQ(ReadFileText(launcher.data(L"game.log")), "again\n\nQVN_PORTABLE_EXIT status=0x00000000\n");
}

TEST(Faults, LauncherKilledMidRunIsCleanedUpByTheNextRun) {
  std::vector<TestFile> bulk;
  for (int i = 0; i < 24; ++i) {
    std::vector<std::uint8_t> contents(2 << 20);
    std::uint32_t state = 0x9E3779B9u + static_cast<std::uint32_t>(i);
    for (std::uint8_t& byte : contents) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<std::uint8_t>(state >> 24);
    }
    bulk.push_back({"bulk/file" + std::to_string(i) + ".bin", std::move(contents)});
  }
  struct Case {
    const char* name;
    std::optional<std::wstring> crashCapture;
    std::wstring waitFor;  // the kill comes as soon as this exists
  };
  const Case cases[] = {
      {"during extraction", std::nullopt, L"portable-runtime\\temp"},
      {"during the game", std::nullopt, L"portable-runtime\\temp\\started.txt"},
      {"during the game under crash capture", L"1", L"portable-runtime\\temp\\started.txt"},
  };
  const PortableLauncher launcher(bulk);
  for (const Case& c : cases) {
    {
      ScopedVariable capture(L"QVN_CRASH_CAPTURE", c.crashCapture);
      RunningProgram running(launcher.exe(), L"write-temp started.txt yes sleep 30000 exit 0");
      ASSERT_TRUE(WaitForPath(launcher.data(c.waitFor))) << c.name;
      running.Kill();
    }
    EXPECT_TRUE(PathExists(launcher.data(L"portable-runtime"))) << c.name;
    EXPECT_FALSE(PathExists(launcher.data(L"portable.lock"))) << c.name;
    ExpectNextRunSucceeds(launcher);
  }
}

TEST(Faults, RuntimeFileHeldOutsideTheJobFailsTheRemoval) {
  const PortableLauncher launcher({{"assets/a.txt", Text("asset")}});
  {
    // A non-zero status: the removal's failure takes the place of its notice.
    RunningProgram running(launcher.exe(), L"write-temp started.txt yes sleep 1500 exit 5");
    const std::wstring held = launcher.data(L"portable-runtime\\assets\\a.txt");
    ASSERT_TRUE(WaitForPath(launcher.data(L"portable-runtime\\temp\\started.txt")));
    UniqueHandle file(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    const ProgramResult result = running.Wait();
    EXPECT_EQ(result.standardError, Report("Cannot remove portable runtime file (Windows error 32)"));
    EXPECT_EQ(result.exitCode, 1u);
  }
  ExpectNextRunSucceeds(launcher);
}

TEST(Faults, ChildrenTheGameLeavesBehindEndWithTheLauncher) {
  // The children run the game's own executable from the runtime, so the
  // runtime can only be removed once every one of them is gone.
  const PortableLauncher launcher;
  for (int run = 0; run < 3; ++run) {
    const ProgramResult result =
        launcher.Run(L"spawn-sleeper 60000 spawn-sleeper 60000 spawn-sleeper 60000 spawn-sleeper 60000 exit 0");
    EXPECT_EQ(result.standardError, "") << run;
    EXPECT_EQ(result.exitCode, 0u) << run;
    const std::string log = ReadFileText(launcher.data(L"game.log"));
    int children = 0;
    for (std::size_t at = log.find("child_pid="); at != std::string::npos; at = log.find("child_pid=", at + 1)) {
      ++children;
      UniqueHandle child(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(log.substr(at + 10))));
      if (child.valid()) {
        EXPECT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0);
      }
    }
    EXPECT_EQ(children, 4) << log;
    EXPECT_FALSE(PathExists(launcher.data(L"portable-runtime")));
  }
}

TEST(Faults, AFloodOfOutputIsAllInTheLogBeforeTheExitRecord) {
  const PortableLauncher launcher;
  const ProgramResult result = launcher.Run(L"flood 100 exit 0");
  EXPECT_EQ(result.exitCode, 0u);
  const std::string log = ReadFileText(launcher.data(L"game.log"));
  const std::string exitRecord = "\nQVN_PORTABLE_EXIT status=0x00000000\n";
  ASSERT_EQ(log.size(), (100u << 20) + exitRecord.size());
  EXPECT_TRUE(log.ends_with(exitRecord));
  // Every 64-byte line in its place, in order.
  constexpr std::size_t kLine = 64;
  const std::size_t lines = (100u << 20) / kLine;
  for (std::size_t line = 0; line < lines; line += 4099) {
    char expected[kLine + 1] = {};
    std::snprintf(expected, sizeof expected, "flood line %016llu %035d\n", static_cast<unsigned long long>(line), 0);
    ASSERT_EQ(log.compare(line * kLine, kLine, expected), 0) << line;
  }
  EXPECT_EQ(log.compare((lines - 1) * kLine, 11, "flood line "), 0);
}

std::vector<std::uint8_t> Incompressible(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

// The small tmpfs that a CTest fixture mounts before Wine looks at it,
// emptied; empty where the machine cannot mount it.
std::wstring SmallFileSystem() {
  std::wstring small = HostPathToWindows(QVN_SMALL_FILESYSTEM);
  ULARGE_INTEGER free = {}, total = {};
  if (!GetDiskFreeSpaceExW(small.c_str(), &free, &total, nullptr) || total.QuadPart > (64u << 20)) return L"";
  RemoveTreeForcibly(small + L"\\data");
  DeleteFileW((small + L"\\q.exe").c_str());
  return small;
}

TEST(Faults, DiskFullDuringExtractionLosesNothingEarlier) {
  const std::wstring small = SmallFileSystem();
  if (small.empty())
    GTEST_SKIP() << "no small file system mounted at " << QVN_SMALL_FILESYSTEM << " (mounting needs root)";
  ULARGE_INTEGER free = {};
  GetDiskFreeSpaceExW(small.c_str(), &free, nullptr, nullptr);
  const std::uint64_t baseSize = ReadFileBytes(PortableLauncher().exe()).size();
  // The executable with its big file fits; the big file a second time, on
  // extraction, does not.
  const PortableLauncher built({{"big.bin", Incompressible((free.QuadPart - baseSize) * 3 / 4)}});
  ASSERT_TRUE(CopyFileW(built.exe().c_str(), (small + L"\\q.exe").c_str(), FALSE)) << GetLastError();
  CreateDirectoryW((small + L"\\data").c_str(), nullptr);
  WriteFileText(small + L"\\data\\game.log", "log of an earlier run\n");
  WriteFileText(small + L"\\data\\crash-last.txt", "report of an earlier crash\n");

  const ProgramResult result = RunProgram(small + L"\\q.exe", L"exit 0");
  // Windows fails the write; Wine reports a partial one.
  EXPECT_TRUE(
      result.standardError.starts_with("Quorvane portable: Cannot write portable runtime file (Windows error ") ||
      result.standardError == Report("Short portable runtime write"))
      << result.standardError;
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_FALSE(PathExists(small + L"\\data\\portable-runtime"));
  EXPECT_EQ(ReadFileText(small + L"\\data\\game.log"), "log of an earlier run\n");
  EXPECT_EQ(ReadFileText(small + L"\\data\\crash-last.txt"), "report of an earlier crash\n");
  SmallFileSystem();
}

// The game fills the disk before it crashes, so that its dump is cut short:
// the earlier capture's dump stays as it was.
TEST(Faults, ADumpCutShortByAFullDiskLeavesTheEarlierOne) {
  const std::wstring small = SmallFileSystem();
  if (small.empty())
    GTEST_SKIP() << "no small file system mounted at " << QVN_SMALL_FILESYSTEM << " (mounting needs root)";
  ASSERT_TRUE(CopyFileW(PortableLauncher().exe().c_str(), (small + L"\\q.exe").c_str(), FALSE)) << GetLastError();
  CreateDirectoryW((small + L"\\data").c_str(), nullptr);
  const std::string earlierDump = "MDMP dump of an earlier capture";
  WriteFileText(small + L"\\data\\crash-last.dmp", earlierDump);
  ScopedVariable capture(L"QVN_CRASH_CAPTURE", L"1");

  const ProgramResult result =
      RunProgram(small + L"\\q.exe", L"fill " + small + L"\\data\\portable-runtime\\temp\\filler 64 crash-av 0");
  const std::string log = ReadFileText(small + L"\\data\\game.log");
  EXPECT_EQ(result.exitCode, 0xC0000005u) << log;
  EXPECT_NE(log.find("filled=1\n"), std::string::npos) << log;
  EXPECT_NE(log.find("QVN_PORTABLE_CRASH_CAPTURE dump_written=0 "), std::string::npos) << log;
  EXPECT_TRUE(ReadFileText(small + L"\\data\\crash-last.dmp") == earlierDump) << "the earlier dump was replaced";
  SmallFileSystem();
}

// How many processes run the executable at `image`, by their full image
// paths, so that the game's children count as well.
int ProcessesRunning(const std::wstring& image) {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    wchar_t path[4096] = {};
    DWORD length = 4096;
    if (process.valid() && QueryFullProcessImageNameW(process.get(), 0, path, &length) &&
        CompareStringOrdinal(path, static_cast<int>(length), image.c_str(), static_cast<int>(image.size()), TRUE) ==
            CSTR_EQUAL) {
      ++count;
    }
  }
  return count;
}

// Processes of a closed job end asynchronously: a few seconds' grace, where
// a game outside any job would stay for good.
bool WithinSeconds(const std::function<bool()>& condition) {
  for (int i = 0; i < 250; ++i) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

unsigned long NumberFromEnvironment(const wchar_t* name, unsigned long fallback) {
  wchar_t text[16] = {};
  const DWORD length = GetEnvironmentVariableW(name, text, 16);
  return length == 0 || length >= 16 ? fallback : std::wcstoul(text, nullptr, 10);
}

Tree TopLevelOf(const std::wstring& folder) {
  Tree top;
  for (const auto& entry : ListTree(folder)) {
    const std::size_t slash = entry.first.find('/');
    if (slash == std::string::npos || slash + 1 == entry.first.size()) top.push_back(entry);
  }
  return top;
}

// A player ends the launcher from outside at any moment: during extraction,
// while the game starts or runs, during the removal afterwards. The moments
// are drawn from a printed seed (QVN_KILL_SEED replays one, QVN_KILL_COUNT
// sets how many kills).
TEST(Faults, AKillAtAnyMomentLeavesNothingThatBlocksOrSpoilsTheNextRun) {
  std::vector<TestFile> bulk;
  bulk.reserve(8);
  for (int i = 0; i < 8; ++i) bulk.push_back({"bulk/part" + std::to_string(i) + ".bin", Incompressible(1 << 20)});
  const PortableLauncher launcher(bulk);
  const std::wstring game = launcher.data(L"portable-runtime\\Quorvane.exe");
  const std::map<std::wstring, std::string> kept = {
      {launcher.data(L"save-slot1.sav"), "the player's own save\n"},
      {launcher.data(L"crash-last.dmp"), "MDMP dump of an earlier capture"},
      {launcher.data(L"crash-last.txt"), "report of an earlier capture\n"},
  };
  CreateDirectoryW(launcher.data().c_str(), nullptr);
  for (const auto& [path, text] : kept) WriteFileText(path, text);
  const Tree besideExe = TopLevelOf(launcher.scratch().path());
  const std::wstring arguments = L"spawn-sleeper 30000 sleep 200 exit 0";
  const unsigned long kills = NumberFromEnvironment(L"QVN_KILL_COUNT", 30);

  struct Mode {
    const char* name = "";
    std::optional<std::wstring> crashCapture;
  };
  for (const Mode& mode : {Mode{"normal", std::nullopt}, Mode{"crash capture", L"1"}}) {
    ScopedVariable capture(L"QVN_CRASH_CAPTURE", mode.crashCapture);
    // One whole run, untouched, sets the range of the moments.
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult whole = launcher.Run(arguments);
    ASSERT_EQ(whole.exitCode, 0u) << whole.standardError;
    const auto runMilliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const auto seed = static_cast<std::uint32_t>(NumberFromEnvironment(L"QVN_KILL_SEED", GetTickCount()));
    std::printf("kill campaign, %s mode: seed %u, %lu kills, moments within %lld ms\n", mode.name, seed, kills,
                static_cast<long long>(runMilliseconds * 11 / 10));
    std::mt19937 random(seed);
    std::uniform_int_distribution<unsigned long> moment(0, static_cast<unsigned long>(runMilliseconds * 11 / 10));

    for (unsigned long killed = 0; killed < kills;) {
      const unsigned long at = moment(random);
      const std::string where = std::string(mode.name) + " mode, seed " + std::to_string(seed) + ", kill " +
                                std::to_string(killed) + " at " + std::to_string(at) + " ms";
      RunningProgram running(launcher.exe(), arguments);
      if (running.EndsWithin(at)) {
        const ProgramResult result = running.Wait();
        ASSERT_EQ(result.exitCode, 0u) << where << ": " << result.standardError;
        ASSERT_EQ(result.standardError, "") << where;
        continue;
      }
      running.Kill();
      ++killed;
      ASSERT_TRUE(WithinSeconds([&] { return ProcessesRunning(game) == 0; })) << where << ": the game outlived it";
      ASSERT_TRUE(WithinSeconds([&] { return !PathExists(launcher.data(L"portable.lock")); })) << where;
      for (const auto& [path, text] : kept) ASSERT_EQ(ReadFileText(path), text) << where << ": " << Narrow(path);
      ASSERT_EQ(TopLevelOf(launcher.scratch().path()), besideExe) << where;
    }
  }

  // The next run unpacks exactly the payload, whatever the kills left.
  RunningProgram last(launcher.exe(), L"write-temp started.txt yes sleep 1000 exit 0");
  ASSERT_TRUE(WaitForPath(launcher.data(L"portable-runtime\\temp\\started.txt")));
  EXPECT_EQ(ProcessesRunning(game), 1);  // the check above sees a running game
  Tree expected = {{"bulk/", ""}, {"temp/", ""}, {"temp/started.txt", "yes"}};
  for (const TestFile& file : GameFiles())
    expected.push_back({file.name, std::string(file.contents.begin(), file.contents.end())});
  for (const TestFile& file : bulk)
    expected.push_back({file.name, std::string(file.contents.begin(), file.contents.end())});
  std::sort(expected.begin(), expected.end());
  Tree runtime = ListTree(launcher.data(L"portable-runtime"));
  std::sort(runtime.begin(), runtime.end());
  EXPECT_TRUE(runtime == expected) << "the runtime holds " << runtime.size() << " entries, the payload "
                                   << expected.size();
  const ProgramResult result = last.Wait();
  EXPECT_EQ(result.exitCode, 0u) << result.standardError;
}

}  // namespace
}  // namespace qvn::testing
