#include "payload/payload_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"

namespace qvn {
namespace {

const std::string kAccepted = "accepted";
const std::string kLength = "Invalid portable filename length";
const std::string kByte = "Unsafe portable filename";
const std::string kComponent = "Unsafe portable path component";
const std::string kDevice = "Reserved Windows device filename in portable payload";

struct PathCase {
  std::string name;
  std::string expected;
};

// "accepted" only when the name comes back byte for byte; otherwise the message.
std::string Outcome(const std::string& name) {
  const std::vector<std::uint8_t> bytes(name.begin(), name.end());
  try {
    return ValidatePayloadPath(bytes) == name ? kAccepted : "name changed";
  } catch (const Error& error) {
    return error.what();
  }
}

void ExpectOutcomes(const std::vector<PathCase>& cases) {
  for (const PathCase& c : cases) {
    EXPECT_EQ(Outcome(c.name), c.expected) << "name: " << c.name;
  }
}

std::string Components(int count, const std::string& last) {
  std::string name;
  for (int i = 1; i < count; ++i) {
    name += "d" + std::to_string(i) + "/";
  }
  return name + last;
}

TEST(PayloadPathTest, LengthIsOneTo200Bytes) {
  ExpectOutcomes({
      {"", kLength},
      {"a", kAccepted},
      {std::string(200, 'a'), kAccepted},
      {std::string(96, 'x') + "/" + std::string(99, 'y') + ".bin", kAccepted},
      {std::string(201, 'a'), kLength},
      {std::string(201, ' '), kLength},
      {std::string(201, '/'), kLength},
  });
}

TEST(PayloadPathTest, OnlyAsciiLettersDigitsAndFewMarksAreAdmitted) {
  ExpectOutcomes({
      {"AZaz09_-.x/y", kAccepted},
      {"a b", kByte},
      {std::string("a\0b", 3), kByte},
      {"a\x1f", kByte},
      {"a\x7f", kByte},
      {"a\x80", kByte},
      {"caf\xc3\xa9", kByte},
      {"a\xff", kByte},
      // Neighbours of the admitted ranges.
      {"a,b", kByte},
      {"a:b", kByte},
      {"a@b", kByte},
      {"a[b", kByte},
      {"a^b", kByte},
      {"a`b", kByte},
      {"a{b", kByte},
      // Characters that carry meaning in Windows paths.
      {"a\\b", kByte},
      {"C:x", kByte},
      {"a*b", kByte},
      {"a?b", kByte},
      {"a\"b", kByte},
      {"a<b", kByte},
      {"a>b", kByte},
      {"a|b", kByte},
      // The whole name is judged before any component.
      {"CON/a b", kByte},
      {"../x\\y", kByte},
      {"a//b:c", kByte},
  });
}

TEST(PayloadPathTest, ComponentsAreNonEmptyAndEndNotInDot) {
  ExpectOutcomes({
      {"/abs.txt", kComponent},
      {"dir/", kComponent},
      {"a//b", kComponent},
      {"/", kComponent},
      {"//server/share", kComponent},
      {".", kComponent},
      {"..", kComponent},
      {"./a", kComponent},
      {"a/../b", kComponent},
      {"a/./b", kComponent},
      {"readme.", kComponent},
      {"a/b.", kComponent},
      {"a./b", kComponent},
      {"...", kComponent},
      {".hidden", kAccepted},
      {"a.b.c", kAccepted},
      {"..a", kAccepted},
      {"a/.config/b", kAccepted},
  });
}

TEST(PayloadPathTest, AtMostEightComponents) {
  ExpectOutcomes({
      {Components(8, "file.bin"), kAccepted},
      {Components(9, "file.bin"), kComponent},
      {Components(9, "CON"), kComponent},
      {Components(8, "f/"), kComponent},
  });
}

TEST(PayloadPathTest, DeviceStemsAreRefusedInAnyPosition) {
  ExpectOutcomes({
      {"nul", kDevice},      {"NUL.txt", kDevice},        {"Con.tar.gz", kDevice},
      {"PrN", kDevice},      {"aux/readme.txt", kDevice}, {"docs/prn.md", kDevice},
      {"a/Nul/b", kDevice},  {"com1", kDevice},           {"COM9.log", kDevice},
      {"LPT9.dat", kDevice}, {"lpt1/x", kDevice},         {"x/cOm5", kDevice},
      {"COM0", kAccepted},   {"LPT0.txt", kAccepted},     {"LPT10", kAccepted},
      {"COMA", kAccepted},   {"COM", kAccepted},          {"CO", kAccepted},
      {"NULL", kAccepted},   {"CONSOLE.txt", kAccepted},  {"nul_x", kAccepted},
      {"conf/x", kAccepted}, {"x.con", kAccepted},        {"a.nul/b", kAccepted},
  });
}

TEST(PayloadPathTest, ComponentsAreJudgedOneAtATimeFromTheLeft) {
  ExpectOutcomes({
      {"CON/../x", kDevice},
      {"a/../CON", kComponent},
      {"NUL/", kDevice},
      {"/NUL", kComponent},
      {"aux./b", kComponent},
      {Components(1, "CON/") + Components(8, "x"), kDevice},
  });
}

}  // namespace
}  // namespace qvn
