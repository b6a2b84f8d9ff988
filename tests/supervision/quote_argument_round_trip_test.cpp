// QuoteArgument against the platform's own splitting: every quoted argument
// must come back from CommandLineToArgvW exactly as it went in.
#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "supervision/quote_argument.h"

namespace qvn {
namespace {

std::vector<std::wstring> Split(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
  std::vector<std::wstring> split;
  split.reserve(static_cast<std::size_t>(count));
  for (int index = 0; index < count; ++index) split.emplace_back(arguments[index]);
  LocalFree(arguments);
  return split;
}

TEST(QuoteArgumentRoundTrip, EveryArgumentComesBackUnchanged) {
  const std::vector<std::wstring> arguments = {
      L"",
      L"plain",
      L"a b",
      L"a\\b",
      L"a\"b",
      L"a\\\"b",
      L"a\\",
      L"\\\\",
      L"\"",
      L"\"\"",
      L"\\\"",
      L"a\\\\\"b\\\\",
      L"tab\there",
      L"  spaced  ",
      L"C:\\Program Files\\",
      L"--flag=\"x y\"",
      L"\u00fc\u65e5\u672c\u8a9e",
      L"\U0001F600 emoji",
      L"trailing \\\\\\",
  };
  // One command line holding them all, after a program name, as the game gets it.
  std::wstring commandLine = QuoteArgument(L"C:\\Games\\Q\\data\\portable-runtime\\Quorvane.exe");
  for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);
  const std::vector<std::wstring> split = Split(commandLine);
  ASSERT_EQ(split.size(), arguments.size() + 1);
  EXPECT_TRUE(split[0] == L"C:\\Games\\Q\\data\\portable-runtime\\Quorvane.exe");
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    EXPECT_TRUE(split[index + 1] == arguments[index]) << "argument " << index;
  }
}

}  // namespace
}  // namespace qvn
