// The launcher's platform layer: its own path and the resource size bound.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "base/win/module_path.h"
#include "launcher/embedded_payload.h"
#include "tests/support/failure_text.h"
#include "tests/support/scratch_directory.h"

namespace qvn {
namespace {

using testing::FailureOf;
using testing::Narrow;

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
