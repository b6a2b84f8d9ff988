// Hostile payloads and faults met by the real launcher executable: each ends
// in its exact report and exit code, loses nothing, and the next run works.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher/unique_handle.h"
#include "payload/payload_container_writer.h"
#include "tests/windows/acceptance_fixture.h"

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
  records.push_back(RecordFor({name, Bytes(contents)}));
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
  auto container = [](Records records) { return WritePayloadContainer(records); };
  auto damaged = [&](std::function<void(ContainerRecord&)> change) {
    Records records = WithFile("assets/data.bin", std::string(4000, 'd') + "end");
    change(records.back());
    return container(records);
  };
  const std::vector<Case> cases = {
      {"wrong magic", [&] { auto p = container(GameRecords()); p[0] = 'q'; return p; },
       "Unsupported portable payload format"},
      {"truncated", [&] { auto p = container(GameRecords()); p.resize(p.size() - 1); return p; },
       "Truncated portable payload"},
      {"trailing byte", [&] { auto p = container(GameRecords()); p.push_back(0); return p; },
       "Incomplete or trailing portable payload data"},
      {"no game", [&] { return container({RecordFor({"bin/Quorvane.exe", Bytes("MZ")})}); },
       "Incomplete or trailing portable payload data"},
      {"device name", [&] { return container(WithFile("CON")); }, "Reserved Windows device filename in portable payload"},
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
         r.push_back(RecordFor({"a.txt", Bytes("t")}));
         r.push_back(RecordFor({"a/b", Bytes("b")}));
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
    EXPECT_EQ(result.standardError, PortableLauncher::Report(c.report)) << c.name;
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
    const wchar_t* crashCapture;
    std::wstring waitFor;  // the kill comes as soon as this exists
  };
  const Case cases[] = {
      {"during extraction", nullptr, L"portable-runtime\\temp"},
      {"during the game", nullptr, L"portable-runtime\\temp\\started.txt"},
      {"during the game under crash capture", L"1", L"portable-runtime\\temp\\started.txt"},
  };
  const PortableLauncher launcher(bulk);
  for (const Case& c : cases) {
    {
      ScopedEnvironmentVariable capture(L"QVN_CRASH_CAPTURE", c.crashCapture);
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
  const PortableLauncher launcher({{"assets/a.txt", Bytes("asset")}});
  {
    // A non-zero status: the removal's failure takes the place of its notice.
    RunningProgram running(launcher.exe(), L"write-temp started.txt yes sleep 1500 exit 5");
    const std::wstring held = launcher.data(L"portable-runtime\\assets\\a.txt");
    ASSERT_TRUE(WaitForPath(launcher.data(L"portable-runtime\\temp\\started.txt")));
    UniqueHandle file(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    const ProgramResult result = running.Wait();
    EXPECT_EQ(result.standardError,
              PortableLauncher::Report("Cannot remove portable runtime file (Windows error 32)"));
    EXPECT_EQ(result.exitCode, 1u);
  }
  ExpectNextRunSucceeds(launcher);
}

TEST(Faults, ChildrenTheGameLeavesBehindEndWithTheLauncher) {
  // The children run the game's own executable from the runtime, so the
  // runtime can only be removed once every one of them is gone.
  const PortableLauncher launcher;
  for (int run = 0; run < 3; ++run) {
    const ProgramResult result = launcher.Run(
        L"spawn-sleeper 60000 spawn-sleeper 60000 spawn-sleeper 60000 spawn-sleeper 60000 exit 0");
    EXPECT_EQ(result.standardError, "") << run;
    EXPECT_EQ(result.exitCode, 0u) << run;
    const std::string log = ReadFileText(launcher.data(L"game.log"));
    int children = 0;
    for (std::size_t at = log.find("child_pid="); at != std::string::npos; at = log.find("child_pid=", at + 1)) {
      ++children;
      UniqueHandle child(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(log.substr(at + 10))));
      if (child.valid()) EXPECT_EQ(WaitForSingleObject(child.get(), 0), WAIT_OBJECT_0);
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

TEST(Faults, DiskFullDuringExtractionLosesNothingEarlier) {
  // A small tmpfs that a CTest fixture mounts before Wine looks at it.
  const std::wstring small = HostPathToWindows(QVN_SMALL_FILESYSTEM);
  ULARGE_INTEGER free = {}, total = {};
  if (!GetDiskFreeSpaceExW(small.c_str(), &free, &total, nullptr) || total.QuadPart > (64u << 20)) {
    GTEST_SKIP() << "no small file system mounted at " << QVN_SMALL_FILESYSTEM << " (mounting needs root)";
  }
  RemoveTreeForcibly(small + L"\\data");
  DeleteFileW((small + L"\\q.exe").c_str());
  GetDiskFreeSpaceExW(small.c_str(), &free, &total, nullptr);
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
  EXPECT_TRUE(result.standardError.starts_with("Quorvane portable: Cannot write portable runtime file (Windows error ") ||
              result.standardError == PortableLauncher::Report("Short portable runtime write"))
      << result.standardError;
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_FALSE(PathExists(small + L"\\data\\portable-runtime"));
  EXPECT_EQ(ReadFileText(small + L"\\data\\game.log"), "log of an earlier run\n");
  EXPECT_EQ(ReadFileText(small + L"\\data\\crash-last.txt"), "report of an earlier crash\n");
  RemoveTreeForcibly(small + L"\\data");
  DeleteFileW((small + L"\\q.exe").c_str());
}

}  // namespace
}  // namespace qvn::testing
