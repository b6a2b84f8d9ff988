#include "supervision/build_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace qvn {
namespace {

bool AllOf(std::string_view text, const char* digits) {
  return text.find_first_not_of(digits) == std::string_view::npos;
}

TEST(BuildIdentity, TextsHaveTheirFixedForms) {
  const BuildIdentity identity = GetBuildIdentity();
  EXPECT_EQ(std::string(identity.version), QVN_EXPECTED_VERSION);
  EXPECT_EQ(identity.main.size(), 40u);
  EXPECT_TRUE(AllOf(identity.main, "0123456789abcdef")) << identity.main;
  EXPECT_EQ(identity.source.size(), 64u);
  EXPECT_TRUE(AllOf(identity.source, "0123456789ABCDEF")) << identity.source;
}

}  // namespace
}  // namespace qvn
