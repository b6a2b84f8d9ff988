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
    EXPECT_EQ(Error(c.text, c.code).what(), c.expected) << c.code;
  }
}

TEST(Error, KeepsATextWithoutCodeUnchanged) {
  const std::string texts[] = {
      "Portable EXE has no embedded runtime. Use the complete portable EXE.",
      "Game exited with status 0xC0000005. Details are in:\nC:\\Games\\Q\\data\\game.log",
      "",
  };
  for (const std::string& text : texts) EXPECT_EQ(Error(text).what(), text);
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
