#include "base/error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace qvn {
namespace {

TEST(Error, RendersTheWindowsErrorCodeInUnsignedDecimal) {
  struct Case {
    std::string text;
    std::uint32_t code;
    std::string expected;
  };
  const Case cases[] = {
      {"Cannot open portable directory", 5, "Cannot open portable directory (Windows error 5)"},
      {"Cannot open portable directory", 0, "Cannot open portable directory (Windows error 0)"},
      {"Cannot open portable directory", 0xFFFFFFFFu, "Cannot open portable directory (Windows error 4294967295)"},
      {"Portable game already running or data directory not writable", 32,
       "Portable game already running or data directory not writable (Windows error 32)"},
  };
  for (const Case& c : cases) {
    const Error failure(c.text, c.code);
    EXPECT_EQ(failure.what(), c.expected) << c.code;
    EXPECT_EQ(failure.windowsErrorCode(), c.code) << c.code;
  }
}

// A refusal that names no code in its message still carries one for the
// records that want it.
TEST(Error, KeepsAnUnstatedCodeOutOfTheText) {
  const std::uint32_t codes[] = {0, 183, 0xFFFFFFFFu};
  for (const std::uint32_t code : codes) {
    const Error failure = Error::WithUnstatedCode("Crash output cannot be a link or directory", code);
    EXPECT_STREQ(failure.what(), "Crash output cannot be a link or directory") << code;
    EXPECT_EQ(failure.windowsErrorCode(), code);
  }
}

TEST(Error, KeepsATextWithoutCodeUnchanged) {
  const std::string texts[] = {
      "Portable EXE has no embedded runtime. Use the complete portable EXE.",
      "Game exited with status 0xC0000005. Details are in:\nC:\\Games\\Q\\data\\game.log",
      "",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(Error(text).what(), text);
    EXPECT_EQ(Error(text).windowsErrorCode(), 0u);
  }
}

TEST(Error, IsCaughtAsAStandardLibraryFailure) {
  try {
    throw Error("Cannot read portable resource");
  } catch (const std::exception& failure) {
    EXPECT_STREQ(failure.what(), "Cannot read portable resource");
    return;
  }
  ADD_FAILURE() << "not caught as std::exception";
}

}  // namespace
}  // namespace qvn
