#include "tools/pack/packing/pack_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvn::pack {
namespace {

// Each case lists files besides Quorvane.exe (unless it says otherwise) and
// the paths the rules must name, each with the start of its reason.
struct RuleCase {
  std::string label;
  std::vector<PackFileInfo> files;
  std::vector<PackProblem> expected;
  bool withMain = true;
};

const std::string kLength = "Invalid portable filename length";
const std::string kUnsafeName = "Unsafe portable filename";
const std::string kComponent = "Unsafe portable path component";
const std::string kDevice = "Reserved Windows device filename in portable payload";
const std::string kReserved = "reserved for the launcher's own state";
const std::string kCase = "differs only in letter case from ";
const std::string kFolder = "needs a folder where the file ";
const std::string kMissing = "missing: ";

PackFileInfo File(const std::string& name, std::uint64_t size = 1) { return {name, size}; }

void ExpectProblems(const std::vector<RuleCase>& cases) {
  for (const RuleCase& c : cases) {
    std::vector<PackFileInfo> files = c.files;
    if (c.withMain) files.push_back(File("Quorvane.exe"));
    const std::vector<PackProblem> problems = FindPackProblems(files);
    ASSERT_EQ(problems.size(), c.expected.size())
        << c.label << (problems.empty() ? "" : ": " + DescribeProblem(problems[0]));
    for (std::size_t i = 0; i < problems.size(); ++i) {
      EXPECT_EQ(problems[i].path, c.expected[i].path) << c.label;
      EXPECT_TRUE(problems[i].reason.starts_with(c.expected[i].reason))
          << c.label << ": " << problems[i].reason << " should start with " << c.expected[i].reason;
    }
  }
}

TEST(PackRules, NamesFollowTheLaunchersPathRules) {
  const std::string longest(200, 'n');
  const std::string tooLong(201, 'n');
  ExpectProblems({
      {"200-byte name", {File(longest)}, {}},
      {"201-byte name", {File(tooLong)}, {{tooLong, kLength}}},
      {"space", {File("a b.txt")}, {{"a b.txt", kUnsafeName}}},
      {"byte above 0x7F", {File("caf\xC3\xA9.txt")}, {{"caf\xC3\xA9.txt", kUnsafeName}}},
      {"trailing dot", {File("readme.")}, {{"readme.", kComponent}}},
      {"trailing dot on a folder", {File("dir./x")}, {{"dir./x", kComponent}}},
      {"nine levels", {File("1/2/3/4/5/6/7/8/9")}, {{"1/2/3/4/5/6/7/8/9", kComponent}}},
      {"eight levels", {File("1/2/3/4/5/6/7/8")}, {}},
      {"device name with extension", {File("NUL.txt")}, {{"NUL.txt", kDevice}}},
      {"device name as folder", {File("com1/x.dat")}, {{"com1/x.dat", kDevice}}},
      {"device-like names", {File("COM0"), File("LPT10"), File("CONSOLE.txt"), File(".hidden")}, {}},
  });
}

// Every kind of name the launcher refuses, with the whole explanation the
// packer gives for it: which character, or which rule.
TEST(PackRules, EachRefusedNameSaysWhichCharacterOrRule) {
  const std::string tooLong(201, 'n');
  const std::string allowed = " is not allowed; only A-Z, a-z, 0-9, '_', '-' and '.' are allowed in names";
  const std::vector<PackProblem> cases = {
      {tooLong, kLength + ": the name is 201 bytes, at most 200 are allowed"},
      {"a b.txt", kUnsafeName + ": ' ' (a space)" + allowed},
      {"Gr\xC3\xBC\xC3\x9F"
       "e.txt",
       kUnsafeName + ": '\xC3\xBC'" + allowed},
      {"levels/\xE2\x82\xAC.txt", kUnsafeName + ": '\xE2\x82\xAC'" + allowed},
      {"bad\xFF"
       "byte",
       kUnsafeName + ": the byte 0xFF" + allowed},
      {"half\xC3", kUnsafeName + ": the byte 0xC3" + allowed},
      {"back\\slash", kUnsafeName + ": '\\'" + allowed},
      {"1/2/3/4/5/6/7/8/9", kComponent + ": 8 folders deep, at most 7"},
      {"readme.", kComponent + ": 'readme.' ends in '.', which Windows would drop"},
      {"saves./x", kComponent + ": 'saves.' ends in '.', which Windows would drop"},
      {"aux.log", kDevice + ": 'aux' names a Windows device, whatever the extension or letter case"},
      {"sounds/COM3.ogg/x", kDevice + ": 'COM3' names a Windows device, whatever the extension or letter case"},
  };
  for (const PackProblem& c : cases) {
    const std::vector<PackProblem> problems = FindPackProblems({File(c.path), File("Quorvane.exe")});
    ASSERT_EQ(problems.size(), 1u) << c.path;
    EXPECT_EQ(problems[0].reason, c.reason) << c.path;
  }
}

TEST(PackRules, PortableStateNamesAreReserved) {
  ExpectProblems({
      {"portable.txt any case", {File("Portable.TXT")}, {{"Portable.TXT", kReserved}}},
      {"below data/", {File("data/x")}, {{"data/x", kReserved}}},
      {"below DATA/",
       {File("DATA/save.bin")},
       {{"DATA/save.bin", kReserved + " (portable.txt and data/ at the root)"}}},
      {"look-alikes", {File("docs/portable.txt"), File("portable.txt.bak"), File("database/x.bin"), File("data")}, {}},
  });
}

TEST(PackRules, NamesMayNotClash) {
  ExpectProblems({
      {"case only",
       {File("readme.txt"), File("README.txt")},
       {{"README.txt", kCase + "readme.txt"}, {"readme.txt", kCase + "README.txt"}}},
      {"main executable twice", {File("QUORVANE.EXE")}, {{"QUORVANE.EXE", kCase}, {"Quorvane.exe", kCase}}},
      {"file where a folder is needed", {File("assets"), File("Assets/x.png")}, {{"Assets/x.png", kFolder + "assets"}}},
      {"clash with names sorting between",
       {File("a"), File("a.txt"), File("a-b"), File("a/b")},
       {{"a/b", kFolder + "a"}}},
      {"file where a folder is needed, one level down", {File("a/B"), File("a/b/c")}, {{"a/b/c", kFolder + "a/B"}}},
      {"file where a folder is needed, two levels down",
       {File("a/b/C"), File("a/b/c/d")},
       {{"a/b/c/d", kFolder + "a/b/C"}}},
      {"prefix without a folder", {File("assets"), File("assets2/x.png")}, {}},
      {"same name twice", {File("x.txt"), File("x.txt")}, {{"x.txt", "given more than once"}}},
  });
}

TEST(PackRules, TheMainExecutableMustBeAtTheRoot) {
  ExpectProblems({
      {"absent", {File("game.exe")}, {{"Quorvane.exe", kMissing}}, false},
      {"other case only",
       {File("quorvane.exe")},
       {{"Quorvane.exe",
         kMissing + "the game's main executable must be in the folder root under exactly this name; quorvane.exe is "
                    "there in another letter case: rename it to Quorvane.exe"}},
       false},
      {"in a folder only", {File("bin/Quorvane.exe")}, {{"Quorvane.exe", kMissing}}, false},
      {"present", {}, {}},
  });
}

// Each limit is named with its number, as the payload format's.
TEST(PackRules, CountAndSizeLimitsAreTheFormats) {
  std::vector<PackFileInfo> most;
  for (int i = 1; i < 512; ++i) most.push_back(File("f" + std::to_string(i)));
  std::vector<PackFileInfo> tooMany = most;
  tooMany.push_back(File("f512"));
  const std::uint64_t largest = 0x8000000;
  ExpectProblems({
      {"no files", {}, {{"", "the game folder holds no files"}, {"Quorvane.exe", kMissing}}, false},
      {"512 files", most, {}},
      {"513 files", tooMany, {{"", "513 files; the payload format holds at most 512 files"}}},
      {"largest file", {File("big", largest)}, {}},
      {"file one byte too large",
       {File("big", largest + 1)},
       {{"big", "134217729 bytes; the payload format holds at most 134217728 bytes (128 MiB) in one file"}}},
      {"largest total, with Quorvane.exe's byte",
       {File("a", largest), File("b", largest), File("c", largest), File("d", largest - 1)},
       {}},
      {"total one byte too large",
       {File("a", largest), File("b", largest), File("c", largest), File("d", largest)},
       {{"", "536870913 bytes in all; the payload format holds at most 536870912 bytes (512 MiB)"}}},
  });
}

}  // namespace
}  // namespace qvn::pack
