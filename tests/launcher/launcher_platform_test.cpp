// The launcher's platform layer: its own path, the portable directories and
// the resource size bound.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "base/win/module_path.h"
#include "launcher/embedded_payload.h"
#include "runtime/portable_directory.h"
#include "tests/support/failure_text.h"
#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

using testing::Narrow;
using testing::ScratchDirectory;

using testing::FailureOf;
// A stand-in for GetModuleFileNameW that reports a path of a given length
// and counts the calls.
struct FakeModulePath {
  std::size_t length = 0;
  int calls = 0;
  DWORD operator()(wchar_t* buffer, DWORD size) {
    ++calls;
    const std::size_t copied = length < size ? length : size;
    for (std::size_t i = 0; i < copied; ++i) buffer[i] = L'a' + static_cast<wchar_t>(i % 26);
    if (length < size) buffer[length] = L'\0';
    return static_cast<DWORD>(copied);
  }
};

TEST(GetLauncherPath, GrowsTheBufferUntilThePathFits) {
  struct Case {
    std::size_t length;
    int expectedCalls;
  };
  const Case cases[] = {{1, 1}, {255, 1}, {256, 2}, {511, 2}, {512, 3}, {1025, 4}, {32767, 8}};
  for (const Case& c : cases) {
    FakeModulePath fake{c.length};
    const std::wstring path = GetLauncherPathUsing(std::ref(fake));
    EXPECT_EQ(path.size(), c.length);
    EXPECT_EQ(fake.calls, c.expectedCalls) << c.length;
  }
}

TEST(GetLauncherPath, Failures) {
  FakeModulePath tooLong{32768};
  EXPECT_EQ(FailureOf([&] { GetLauncherPathUsing(std::ref(tooLong)); }), "Portable executable path is too long");
  EXPECT_EQ(tooLong.calls, 8);
  auto failing = [](wchar_t*, DWORD) -> DWORD {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  };
  EXPECT_EQ(FailureOf([&] { GetLauncherPathUsing(failing); }), "Cannot locate portable EXE (Windows error 5)");
}

TEST(GetLauncherPath, ReportsTheRunningExecutable) {
  wchar_t expected[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, expected, MAX_PATH);
  EXPECT_EQ(Narrow(GetLauncherPath()), Narrow(expected));
}

TEST(OpenPortableDirectory, AcceptsOnlyPlainDirectories) {
  ScratchDirectory scratch;
  CreateDirectoryW((scratch / L"existing").c_str(), nullptr);
  testing::WriteFileText(scratch / L"existing\\keep.txt", "kept");
  testing::WriteFileText(scratch / L"file", "a file");
  struct Case {
    std::wstring name;
    bool create;
    std::string failure;
  };
  const Case cases[] = {
      {L"existing", true, "(no failure)"},
      {L"existing", false, "(no failure)"},
      {L"new", true, "(no failure)"},
      {L"file", true, "Portable data/runtime directories cannot be files, symlinks or junctions"},
      {L"file", false, "Portable data/runtime directories cannot be files, symlinks or junctions"},
      {L"missing", false, "Cannot open portable directory (Windows error 2)"},
      {L"missing-parent\\child", true,
       "Portable directory must be writable; cannot create directory (Windows error 3)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FailureOf([&] { OpenPortableDirectory(scratch / c.name, c.create); }), c.failure) << Narrow(c.name);
  }
  EXPECT_EQ(testing::ReadFileText(scratch / L"existing\\keep.txt"), "kept");
  EXPECT_EQ(testing::ReadFileText(scratch / L"file"), "a file");
  EXPECT_TRUE(testing::IsDirectory(scratch / L"new"));
}

TEST(OpenPortableDirectory, HeldDirectoryCannotBeMovedOrDeleted) {
  ScratchDirectory scratch;
  UniqueHandle held = OpenPortableDirectory(scratch / L"data", true);
  EXPECT_FALSE(MoveFileW((scratch / L"data").c_str(), (scratch / L"moved").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(RemoveDirectoryW((scratch / L"data").c_str()));
  held.reset();
  EXPECT_TRUE(MoveFileW((scratch / L"data").c_str(), (scratch / L"moved").c_str()));
}

TEST(ResourceSize, AcceptsOneByteUpToHalfAGibibyte) {
  struct Case {
    std::uint32_t size;
    bool valid;
  };
  const Case cases[] = {{0, false},         {1, true},           {32, true},
                        {0x20000000, true}, {0x20000001, false}, {0xFFFFFFFF, false}};
  for (const Case& c : cases) EXPECT_EQ(IsValidResourceSize(c.size), c.valid) << c.size;
}

}  // namespace
}  // namespace qvn
