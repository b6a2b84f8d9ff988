// The real launcher executable, with its resources replaced in a copy, run
// as a user would run it; standard error goes to a file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/win/unique_handle.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/launcher_copy.h"
#include "tests/support/launcher_report.h"
#include "tests/support/program_run.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_payload.h"

namespace qvn {
namespace {

using testing::PathExists;
using testing::PayloadResources;
using testing::RecordFor;
using testing::Report;
using testing::ScratchDirectory;
using testing::Text;

std::vector<std::uint8_t> DigestOf(const std::vector<std::uint8_t>& payload) {
  const auto digest = testing::Sha256Of(payload);
  return std::vector<std::uint8_t>(digest.begin(), digest.end());
}

PayloadResources Verified(const std::vector<std::uint8_t>& payload) { return {payload, DigestOf(payload)}; }

std::vector<std::uint8_t> GamePayload() {
  return testing::PackInMemory({{"Quorvane.exe", Text("MZ not started")}, {"assets/a.txt", Text("asset")}});
}

TEST(LauncherExecutable, RefusesMissingOrDamagedPayloadsBeforeTouchingTheDisk) {
  const std::vector<std::uint8_t> payload = GamePayload();
  struct Case {
    const char* name;
    PayloadResources resources;
    std::string report;
  };
  std::vector<Case> cases = {
      {"no payload",
       {{}, DigestOf(payload), true, false},
       "Portable EXE has no embedded runtime. Use the complete portable EXE."},
      {"no digest", {payload, {}, false, true}, "Portable EXE has no embedded runtime. Use the complete portable EXE."},
      {"31-byte digest", {payload, DigestOf(payload)}, "Embedded runtime SHA-256 mismatch"},
      {"33-byte digest", {payload, DigestOf(payload)}, "Embedded runtime SHA-256 mismatch"},
      {"changed magic", {payload, DigestOf(payload)}, "Embedded runtime SHA-256 mismatch"},
      {"changed last byte", {payload, DigestOf(payload)}, "Embedded runtime SHA-256 mismatch"},
      {"malformed magic, digest right", Verified(Text(std::string_view("qvnport1\x01\0\0\0", 12))),
       "Unsupported portable payload format"},
      {"unsafe name, digest right",
       Verified(WritePayloadContainer({RecordFor({"Quorvane.exe", Text("MZ")}), RecordFor({"a b", Text("x")})})),
       "Unsafe portable filename"},
      {"no game, digest right", Verified(WritePayloadContainer({RecordFor({"bin/Quorvane.exe", Text("MZ")})})),
       "Incomplete or trailing portable payload data"},
  };
  cases[2].resources.digest.pop_back();
  cases[3].resources.digest.push_back(0);
  cases[4].resources.payload[0] ^= 0x20;
  cases[5].resources.payload.back() ^= 0x01;

  for (const Case& c : cases) {
    ScratchDirectory scratch;
    testing::MakeLauncherCopy(scratch / L"q.exe", c.resources);
    const testing::ProgramResult result = testing::RunProgram(scratch / L"q.exe");
    EXPECT_EQ(result.standardError, Report(c.report)) << c.name;
    EXPECT_EQ(result.exitCode, 1u) << c.name;
    EXPECT_FALSE(PathExists(scratch / L"data")) << c.name;
  }
}

TEST(LauncherExecutable, RefusesAnEmptyPayloadResource) {
  ScratchDirectory scratch;
  ASSERT_TRUE(CopyFileW(testing::EmptyPayloadLauncherPath().c_str(), (scratch / L"q.exe").c_str(), FALSE));
  const testing::ProgramResult result = testing::RunProgram(scratch / L"q.exe");
  EXPECT_EQ(result.standardError, Report("Invalid portable resource size"));
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_FALSE(PathExists(scratch / L"data"));
}

TEST(LauncherExecutable, RefusesADataDirectoryThatIsAFile) {
  ScratchDirectory scratch;
  testing::MakeLauncherCopy(scratch / L"q.exe", Verified(GamePayload()));
  testing::WriteFileText(scratch / L"data", "user file");
  const testing::ProgramResult result = testing::RunProgram(scratch / L"q.exe");
  EXPECT_EQ(result.standardError, Report("Portable data/runtime directories cannot be files, symlinks or junctions"));
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(testing::ReadFileText(scratch / L"data"), "user file");
}

TEST(LauncherExecutable, RefusesADataDirectoryThatIsALink) {
  ScratchDirectory scratch;
  testing::MakeLauncherCopy(scratch / L"q.exe", Verified(GamePayload()));
  CreateDirectoryW((scratch / L"elsewhere").c_str(), nullptr);
  testing::WriteFileText(scratch / L"elsewhere\\keep.txt", "kept");
  CreateSymbolicLinkW((scratch / L"data").c_str(), (scratch / L"elsewhere").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD attributes = GetFileAttributesW((scratch / L"data").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "this platform cannot create directory symbolic links (Wine 8.0 cannot)";
  }
  const testing::ProgramResult result = testing::RunProgram(scratch / L"q.exe");
  EXPECT_EQ(result.standardError, Report("Portable data/runtime directories cannot be files, symlinks or junctions"));
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(testing::ListTree(scratch / L"elsewhere"),
            (std::vector<std::pair<std::string, std::string>>{{"keep.txt", "kept"}}));
}

TEST(LauncherExecutable, SecondLauncherIsRefusedWhileTheLockIsHeld) {
  ScratchDirectory scratch;
  testing::MakeLauncherCopy(scratch / L"q.exe", Verified(GamePayload()));
  CreateDirectoryW((scratch / L"data").c_str(), nullptr);
  CreateDirectoryW((scratch / L"data\\portable-runtime").c_str(), nullptr);
  testing::WriteFileText(scratch / L"data\\portable-runtime\\running.txt", "first game's file");
  {
    // Held the way a running launcher holds it.
    UniqueHandle lock(CreateFileW((scratch / L"data\\portable.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(lock.valid());
    const testing::ProgramResult result = testing::RunProgram(scratch / L"q.exe");
    EXPECT_EQ(result.standardError,
              Report("Portable game already running or data directory not writable (Windows error 32)"));
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing::ReadFileText(scratch / L"data\\portable-runtime\\running.txt"), "first game's file");
  }
  EXPECT_FALSE(PathExists(scratch / L"data\\portable.lock"));
}

TEST(LauncherExecutable, FindsItsDataBesideItselfAtLongPaths) {
  // Wine starts no program from a path of 300 units, and no game from a
  // runtime path past about 260: these lengths are what it allows. The
  // launcher's path must arrive whole, or data would not be where it is.
  for (const std::size_t length : {std::size_t{255}, std::size_t{256}}) {
    ScratchDirectory scratch;
    std::wstring directory = scratch.path();
    while (directory.size() < 220) {
      directory += L"\\dddddddddd";
      CreateDirectoryW(directory.c_str(), nullptr);
    }
    const std::size_t nameLength = length - directory.size() - 1;
    const std::wstring exe = directory + L"\\" + std::wstring(nameLength - 4, L'q') + L".exe";
    ASSERT_EQ(exe.size(), length);
    testing::MakeLauncherCopy(exe, Verified(GamePayload()));
    const testing::ProgramResult result = testing::RunProgram(exe);
    EXPECT_TRUE(testing::IsDirectory(directory + L"\\data")) << length;
    EXPECT_FALSE(PathExists(directory + L"\\data\\portable-runtime")) << length;
    EXPECT_TRUE(result.standardError.starts_with("Quorvane portable: Cannot launch embedded game"))
        << result.standardError;
  }
}

}  // namespace
}  // namespace qvn
