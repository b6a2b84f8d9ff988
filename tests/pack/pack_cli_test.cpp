// Runs the qvn_pack program built beside this test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "base/sha256.h"
#include "payload/payload_manifest.h"
#include "tests/pack/minimal_pe_image.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/text_bytes.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/image/pe_resource_reader.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::ScratchFolder;

using testing::PackInMemory;
using testing::TestFile;
using testing::Text;

struct PackerRun {
  int status;
  std::string output;  // standard output and standard error together
};

// `cd`, when given, is a shell command that changes folder first.
PackerRun RunPacker(const ScratchFolder& scratch, const std::string& arguments, const std::string& cd = "") {
  const fs::path packer = fs::read_symlink("/proc/self/exe").parent_path() / "qvn_pack";
  const fs::path output = scratch.path() / "output.txt";
  const std::string command = cd + "'" + packer.string() + "' " + arguments + " >'" + output.string() + "' 2>&1";
  const int result = std::system(command.c_str());
  const Bytes text = ReadFileBytes(output);
  return {WIFEXITED(result) ? WEXITSTATUS(result) : -1, std::string(text.begin(), text.end())};
}

// The same with standard output and standard error apart.
struct PackerStreams {
  int status;
  std::string out;
  std::string error;
};

PackerStreams RunPackerApart(const ScratchFolder& scratch, const std::string& arguments) {
  const fs::path packer = fs::read_symlink("/proc/self/exe").parent_path() / "qvn_pack";
  const fs::path out = scratch.path() / "stdout.txt";
  const fs::path error = scratch.path() / "stderr.txt";
  const std::string command =
      "'" + packer.string() + "' " + arguments + " >'" + out.string() + "' 2>'" + error.string() + "'";
  const int result = std::system(command.c_str());
  const Bytes outText = ReadFileBytes(out);
  const Bytes errorText = ReadFileBytes(error);
  return {WIFEXITED(result) ? WEXITSTATUS(result) : -1, std::string(outText.begin(), outText.end()),
          std::string(errorText.begin(), errorText.end())};
}

struct CliCase {
  std::string label;
  std::string arguments;
  int status;
  std::string expectedOutput;  // a part of the output
};

TEST(QvnPackCommandLine, ExitStatusAndOutputOfEachCommand) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  const std::vector<TestFile> game = {{"Quorvane.exe", Text("main")}, {"assets/readme.txt", Text("hello")}};
  for (const TestFile& file : game) scratch.Write("game/" + file.name, file.contents);
  scratch.Write("bad/a b.txt", Text("x"));
  scratch.Write("bad/data/x", Text("x"));

  const Bytes payload = PackInMemory(game);
  const Sha256 digest = HashSha256(payload);
  Bytes flipped = payload;
  flipped[flipped.size() - 1] ^= 0x40;  // the last byte of assets/readme.txt, stored raw
  scratch.Write("payload.bin", payload);
  scratch.Write("flipped.bin", flipped);
  scratch.Write("launcher.exe",
                MakePeImage({{10, 101, 0, payload}, {10, 102, 0, Bytes(digest.begin(), digest.end())}}));
  scratch.Write("no-payload.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
  scratch.Write("notes.txt", Text("not a payload"));

  const std::vector<CliCase> cases = {
      {"help", "--help", 0, "build"},
      {"version", "--version", 0, "qvn_pack " QVN_EXPECTED_VERSION "\n"},
      {"build help", "build --help", 0, "--game-dir"},
      {"no subcommand", "", 2, "A subcommand is required"},
      {"unknown subcommand", "frobnicate", 2, "subcommand"},
      {"build without --out", "build --game-dir " + dir + "game", 2, "--out"},
      {"level out of range", "build --game-dir " + dir + "game --out " + dir + "x.bin --level 3", 2, "--level"},
      {"jobs zero", "build --game-dir " + dir + "game --out " + dir + "x.bin --jobs 0", 2, "--jobs"},
      {"jobs negative", "build --game-dir " + dir + "game --out " + dir + "x.bin --jobs -2", 2, "--jobs"},
      {"jobs not a number", "build --game-dir " + dir + "game --out " + dir + "x.bin --jobs two", 2, "--jobs"},
      {"launcher jobs zero", "launcher --game-dir " + dir + "game --out " + dir + "x.exe --jobs 0", 2, "--jobs"},
      {"build", "build --game-dir " + dir + "game --out " + dir + "built.bin", 0, "packed 2 files"},
      {"build with 3 jobs", "build --game-dir " + dir + "game --out " + dir + "jobs.bin --jobs 3", 0, "packed 2 files"},
      {"build at level 2 with digest path",
       "build --game-dir " + dir + "game --out " + dir + "strong.bin --digest-out " + dir + "strong.sha --level 2", 0,
       "strong.sha"},
      {"refused folder", "build --game-dir " + dir + "bad --out " + dir + "refused.bin", 1,
       "a b.txt: Unsafe portable filename"},
      {"missing folder", "build --game-dir " + dir + "absent --out " + dir + "absent.bin", 1, "not a folder"},
      {"list payload", "list " + dir + "payload.bin", 0, "assets/readme.txt"},
      {"verify payload", "verify " + dir + "payload.bin", 0, ": OK, 2 files"},
      {"list launcher", "list " + dir + "launcher.exe", 0, "Quorvane.exe"},
      {"verify launcher", "verify " + dir + "launcher.exe", 0, "payload digest matches resource 102"},
      {"verify damaged payload", "verify " + dir + "flipped.bin", 1,
       "FAILED\n  assets/readme.txt: Portable file SHA-256 mismatch"},
      {"verify a file that is no payload", "verify " + dir + "notes.txt", 1, "Unsupported portable payload format"},
      {"verify executable without payload", "verify " + dir + "no-payload.exe", 1, "no embedded runtime"},
      {"list executable without payload", "list " + dir + "no-payload.exe", 1, "no embedded runtime"},
      {"verify missing file", "verify " + dir + "absent.bin", 1, "cannot open"},
      {"verify a folder", "verify " + dir + "game", 1, "game: a folder, not a launcher or payload"},
      {"list a folder", "list " + dir + "game", 1, "game: a folder, not a launcher or payload"},
      {"extract a folder", "extract " + dir + "game --out " + dir + "from-folder", 1,
       "game: a folder, not a launcher or payload"},
  };
  for (const CliCase& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expectedOutput), std::string::npos) << c.label << "\n" << run.output;
  }

  EXPECT_EQ(ReadFileBytes(dir + "built.bin"), payload) << "the tool writes what the library builds";
  EXPECT_EQ(ReadFileBytes(dir + "built.bin.digest"), Bytes(digest.begin(), digest.end()));
  EXPECT_EQ(ReadFileBytes(dir + "jobs.bin"), payload);
  const Sha256 strongDigest = HashSha256(ReadFileBytes(dir + "strong.bin"));
  EXPECT_EQ(ReadFileBytes(dir + "strong.sha"), Bytes(strongDigest.begin(), strongDigest.end()));
  for (const char* unwritten : {"refused.bin", "refused.bin.digest", "x.bin", "absent.bin.digest", "from-folder"}) {
    EXPECT_FALSE(fs::exists(dir + unwritten)) << unwritten;
  }
}

// A one-image .ico: directory, one entry, then its 8 bytes.
Bytes TinyIcon(std::uint32_t imageOffset = 22) {
  Bytes icon = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 8, 0, 0, 0};
  for (int i = 0; i < 4; ++i) icon.push_back(static_cast<std::uint8_t>(imageOffset >> (8 * i)));
  for (std::uint8_t b = 1; b <= 8; ++b) icon.push_back(b);
  return icon;
}

TEST(QvnPackCommandLine, LauncherRefusesBadInputsAndWritesNothing) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  scratch.Write("game/Quorvane.exe", Text("main"));
  scratch.Write("bad/a b.txt", Text("x"));
  const Bytes manifest = Text("<assembly/>");
  scratch.Write("stub.exe", MakePeImage({{24, 1, 0, manifest}}));
  scratch.Write("stub32.exe", MakePeImage({{24, 1, 0, manifest}}, testing::PeKind::kPe32));
  Bytes signedStub = MakePeImage({{24, 1, 0, manifest}});
  signedStub[0x40 + 24 + 112 + 8 * 4 + 4] = 0x10;  // certificate table size
  scratch.Write("signed.exe", signedStub);
  scratch.Write("no-manifest.exe", MakePeImage({{6, 1, 0, Text("strings")}}));
  scratch.Write("icon.ico", TinyIcon());
  scratch.Write("outside.ico", TinyIcon(4000));
  scratch.Write("picture.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10});
  const Bytes existing = Text("an earlier launcher");
  scratch.Write("existing.exe", existing);

  const std::string game =
      "launcher --game-dir " + dir + "game --stub " + dir + "stub.exe --out " + dir + "existing.exe";
  const std::vector<CliCase> refused = {
      {"five version parts", game + " --version 1.2.3.4.5", 1, "bad version information: version \"1.2.3.4.5\""},
      {"a version part past 65535", game + " --version 1.65536", 1, "at most 65535"},
      {"company not UTF-8", game + " --company \"$(printf '\\377')\"", 1, "not valid UTF-8"},
      {"a picture as icon", game + " --icon " + dir + "picture.png", 1, "not an icon file (.ico)"},
      {"an icon image outside its file", game + " --icon " + dir + "outside.ico", 1, "lies outside the file"},
      {"a missing icon", game + " --icon " + dir + "absent.ico", 1, "cannot open"},
      {"a missing stub",
       "launcher --game-dir " + dir + "game --stub " + dir + "absent.exe --out " + dir + "existing.exe", 1,
       "no launcher stub at " + dir + "absent.exe"},
      {"no stub beside the packer", "launcher --game-dir " + dir + "game --out " + dir + "existing.exe", 1,
       "qvn_portable_launcher_stub.exe (beside qvn_pack) or " +
           fs::read_symlink("/proc/self/exe").parent_path().parent_path().string() +
           "/share/quorvane-portable/qvn_portable_launcher_stub.exe; name one with --stub"},
      {"a PE32 stub", "launcher --game-dir " + dir + "game --stub " + dir + "stub32.exe --out " + dir + "existing.exe",
       1, "not a PE32+ x64 image"},
      {"a signed stub",
       "launcher --game-dir " + dir + "game --stub " + dir + "signed.exe --out " + dir + "existing.exe", 1,
       "certificate table"},
      {"a stub without manifest",
       "launcher --game-dir " + dir + "game --stub " + dir + "no-manifest.exe --out " + dir + "existing.exe", 1,
       "no application manifest"},
      {"the stub as output", "launcher --game-dir " + dir + "game --stub " + dir + "stub.exe --out " + dir + "stub.exe",
       1, "is the stub itself"},
      {"a refused game folder",
       "launcher --game-dir " + dir + "bad --stub " + dir + "stub.exe --out " + dir + "existing.exe", 1,
       "a b.txt: Unsafe portable filename"},
      {"no game folder", "launcher --stub " + dir + "stub.exe --out " + dir + "existing.exe", 2, "--game-dir"},
  };
  for (const CliCase& c : refused) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expectedOutput), std::string::npos) << c.label << "\n" << run.output;
    EXPECT_EQ(ReadFileBytes(dir + "existing.exe"), existing) << c.label;
    EXPECT_EQ(ReadFileBytes(dir + "stub.exe"), MakePeImage({{24, 1, 0, manifest}})) << c.label;
    EXPECT_FALSE(fs::exists(dir + "existing.exe.partial")) << c.label;
  }
}

TEST(QvnPackCommandLine, LauncherListVerifyAndExtract) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  const std::vector<TestFile> game = {{"Quorvane.exe", Text("main")}, {"assets/deep/readme.txt", Text("hello")}};
  for (const TestFile& file : game) scratch.Write("game/" + file.name, file.contents);
  scratch.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
  scratch.Write("icon.ico", TinyIcon());
  scratch.Write("occupied/file", Text("x"));
  const std::string make = "launcher --game-dir " + dir + "game --stub " + dir + "stub.exe --icon " + dir +
                           "icon.ico --version 2.5 --company 'Studio Ö' --copyright '(C) 2026' --out " + dir;
  ASSERT_EQ(RunPacker(scratch, make + "one.exe").status, 0);
  ASSERT_EQ(
      RunPacker(scratch, "launcher --game-dir " + dir + "game --stub " + dir + "one.exe --out " + dir + "again.exe")
          .status,
      0);
  Bytes damaged = ReadFileBytes(dir + "one.exe");
  const auto payload = FindRcDataResource(damaged, 101);
  ASSERT_TRUE(payload);
  damaged[static_cast<std::size_t>(payload->data() - damaged.data()) + payload->size() - 1] ^= 1;
  scratch.Write("damaged.exe", damaged);

  const std::vector<CliCase> cases = {
      {"list shows the version strings", "list " + dir + "one.exe", 0,
       "version CompanyName: Studio Ö\nversion FileDescription: Quorvane portable\nversion FileVersion: 2.5.0.0\n"
       "version InternalName: one\nversion LegalCopyright: (C) 2026\nversion OriginalFilename: one.exe\n"
       "version ProductName: Quorvane\nversion ProductVersion: 2.5.0.0\nicon images: 1\ncertificate table: unsigned\n"},
      {"verify shows them too", "verify " + dir + "one.exe", 0,
       "payload digest matches resource 102\nversion CompanyName"},
      {"a launcher as stub gets a new payload", "verify " + dir + "again.exe", 0, "version FileVersion: 1.0.0.0"},
      {"extract", "extract " + dir + "one.exe --out " + dir + "out", 0, "extracted 2 files"},
      {"extract into an empty folder", "extract " + dir + "one.exe --out " + dir + "out-empty", 0, "extracted 2 files"},
      {"extract damaged", "extract " + dir + "damaged.exe --out " + dir + "not-written", 1,
       "Embedded runtime SHA-256 mismatch"},
      {"extract into a folder with files", "extract " + dir + "one.exe --out " + dir + "occupied", 1,
       "not an empty folder"},
      {"extract through a link to an empty folder", "extract " + dir + "one.exe --out " + dir + "link-to-empty", 1,
       "not an empty folder"},
  };
  fs::create_directory(dir + "out-empty");
  fs::create_directory(dir + "empty-target");
  fs::create_directory_symlink(dir + "empty-target", dir + "link-to-empty");
  for (const CliCase& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expectedOutput), std::string::npos) << c.label << "\n" << run.output;
  }
  // Same inputs, same bytes; the output's name is one of the inputs.
  const Bytes one = ReadFileBytes(dir + "one.exe");
  EXPECT_EQ(RunPacker(scratch, make + "one.exe").status, 0);
  EXPECT_EQ(ReadFileBytes(dir + "one.exe"), one);
  EXPECT_EQ(RunPacker(scratch, make + "one-more.exe").status, 0);
  EXPECT_NE(ReadFileBytes(dir + "one-more.exe"), one) << "OriginalFilename names the file";
  for (const std::string out : {"out/", "out-empty/"}) {
    for (const TestFile& file : game)
      EXPECT_EQ(ReadFileBytes(dir + out + file.name), file.contents) << out << file.name;
  }
  EXPECT_FALSE(fs::exists(dir + "not-written"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir + "occupied"), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_empty(dir + "empty-target")) << "nothing written through the link";
}

// Every file below `folder`, by relative name.
std::vector<std::string> FilesBelow(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(QvnPackCommandLine, RefusesAnOutputInsideTheGameFolderHoweverSpelled) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  scratch.Write("game/Quorvane.exe", Text("main"));
  scratch.Write("game/sub/notes.txt", Text("n"));
  scratch.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
  fs::create_directory(dir + "outside");
  fs::create_directory_symlink(dir + "game", dir + "to-game");
  fs::create_directory_symlink(dir + "game/sub", dir + "outside/deep");  // outside/deep/.. is game
  // A game folder of its own (a link refuses any folder it is in) holding
  // a link to a file outside it.
  scratch.Write("outside/P.exe", Text("elsewhere"));
  scratch.Write("linked/Quorvane.exe", Text("main"));
  fs::create_symlink(dir + "outside/P.exe", dir + "linked/P.exe");
  const std::vector<std::string> before = FilesBelow(dir + "game");

  const std::string inGame = "cd '" + dir + "game' && ";
  const std::string launcher = "launcher --stub " + dir + "stub.exe ";
  struct Placement {
    std::string label;
    std::string cd;  // where the packer runs
    std::string arguments;
    int status;
  };
  const std::vector<Placement> cases = {
      {"launcher run in the game folder", inGame, launcher + "--game-dir . --out Portable.exe", 1},
      {"relative with ..", inGame, launcher + "--game-dir . --out sub/../Portable.exe", 1},
      {"absolute with .. through another folder", "",
       launcher + "--game-dir " + dir + "game --out " + dir + "outside/../game/Portable.exe", 1},
      {"output through a link to the folder", "",
       launcher + "--game-dir " + dir + "game --out " + dir + "to-game/P.exe", 1},
      {"game folder through a link", "", launcher + "--game-dir " + dir + "to-game --out " + dir + "game/sub/P.exe", 1},
      {".. after a link, which a lexical reading puts outside", "",
       launcher + "--game-dir " + dir + "game --out " + dir + "outside/deep/../P.exe", 1},
      {"the game folder itself", "", launcher + "--game-dir " + dir + "game --out " + dir + "game", 1},
      {"a link in the folder to a file outside", "",
       launcher + "--game-dir " + dir + "linked --out " + dir + "linked/P.exe", 1},
      {"build run in the game folder", inGame, "build --game-dir . --out payload.bin", 1},
      {"build with its digest inside", "",
       "build --game-dir " + dir + "game --out " + dir + "outside/p.bin --digest-out " + dir + "game/p.sha", 1},
      {"build with its default digest through a link", "",
       "build --game-dir " + dir + "game --out " + dir + "to-game/p.bin", 1},
      {"beside the folder, from inside", inGame, launcher + "--game-dir . --out ../Portable.exe", 0},
      {"a sibling whose name starts with the folder's", "",
       launcher + "--game-dir " + dir + "game --out " + dir + "game-portable.exe", 0},
      {"build outside", inGame, "build --game-dir . --out ../outside/p.bin", 0},
  };
  for (const Placement& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments, c.cd);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    if (c.status == 0) continue;
    EXPECT_NE(run.output.find("lies inside the game folder"), std::string::npos) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find("write it outside that folder, for example " + scratch.path().string()),
              std::string::npos)
        << c.label << "\n"
        << run.output;
    EXPECT_EQ(FilesBelow(dir + "game"), before) << c.label;
    EXPECT_FALSE(fs::exists(dir + "outside/p.bin")) << c.label;
  }
}

// Where the output cannot be written is said before the game is packed:
// the game folder here is refused, so a check made only after packing would
// answer with the game's problems instead.
TEST(QvnPackCommandLine, ChecksTheOutputsPlaceBeforePacking) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  scratch.Write("bad/a b.txt", Text("x"));
  scratch.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
  scratch.Write("a-file", Text("x"));
  fs::create_directory(dir + "a-folder");
  const std::string build = "build --game-dir " + dir + "bad ";
  const std::string launcher = "launcher --game-dir " + dir + "bad --stub " + dir + "stub.exe ";
  const std::vector<CliCase> cases = {
      {"launcher into a missing folder", launcher + "--out " + dir + "nofolder/sub/x.exe", 1,
       "--out " + dir + "nofolder/sub/x.exe cannot be written: the folder " + dir + "nofolder/sub does not exist"},
      {"launcher onto a folder", launcher + "--out " + dir + "a-folder", 1,
       "--out " + dir + "a-folder cannot be written: it is a folder"},
      {"launcher below a file", launcher + "--out " + dir + "a-file/x.exe", 1,
       "the folder " + dir + "a-file is a file"},
      {"build into a missing folder", build + "--out " + dir + "nofolder/x.bin", 1, "nofolder does not exist"},
      {"build onto a folder", build + "--out " + dir + "a-folder", 1, "it is a folder"},
      {"build's digest into a missing folder", build + "--out " + dir + "x.bin --digest-out " + dir + "nofolder/x.sha",
       1, "--digest-out " + dir + "nofolder/x.sha cannot be written"},
  };
  for (const CliCase& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expectedOutput), std::string::npos) << c.label << "\n" << run.output;
    EXPECT_EQ(run.output.find("refused"), std::string::npos) << c.label << ": the game was looked at first\n"
                                                             << run.output;
  }
  EXPECT_FALSE(fs::exists(dir + "x.bin.partial"));
  EXPECT_TRUE(fs::is_empty(dir + "a-folder"));
}

// A disk that fills up while the packer writes, as a file-size limit on the
// packer's process (with the limit's signal ignored, a write past it fails
// as on a full disk). Limits fall early in the file, in its last buffered
// bytes (written only when the file is closed), and one byte short. The
// limit holds for each file, so extract fails in its large file.
TEST(QvnPackCommandLine, AWriteThatFailsLeavesNoOutput) {
  ScratchFolder scratch;
  const std::string dir = scratch.path().string() + "/";
  // Incompressible, so stored as it is. The last record, under the 1 KiB
  // from which the stream writes at once, stays in its buffer until the file
  // is closed.
  const auto noise = [](std::size_t size) {
    Bytes bytes;
    for (std::uint32_t x = 1; bytes.size() < size; x = x * 1103515245 + 12345)
      bytes.push_back(static_cast<std::uint8_t>(x >> 16));
    return bytes;
  };
  scratch.Write("game/A-first.txt", Text("written first"));
  scratch.Write("game/Quorvane.exe", noise(300 << 10));
  scratch.Write("game/zz-last.bin", noise(900));
  scratch.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
  const std::string game = "--game-dir " + dir + "game ";
  const std::string launcher = "launcher --stub " + dir + "stub.exe " + game;
  ASSERT_EQ(RunPacker(scratch, "build " + game + "--out " + dir + "full.bin").status, 0);
  ASSERT_EQ(RunPacker(scratch, launcher + "--out " + dir + "full.exe").status, 0);
  const std::uint64_t payloadSize = fs::file_size(dir + "full.bin");
  const std::uint64_t launcherSize = fs::file_size(dir + "full.exe");
  EXPECT_FALSE(fs::exists(dir + "full.exe.payload.partial"));  // the launcher's scratch payload

  struct Limited {
    std::string label;
    std::string arguments;
    std::uint64_t limit;  // bytes; the shell counts 512-byte blocks
    std::string output;   // must not exist afterwards, nor its partial file
  };
  const std::vector<Limited> cases = {
      {"build, early", "build " + game + "--out " + dir + "out.bin", 64 << 10, "out.bin"},
      {"build, in the last bytes", "build " + game + "--out " + dir + "out.bin", payloadSize - 1, "out.bin"},
      {"launcher, early", launcher + "--out " + dir + "out.exe", 64 << 10, "out.exe"},
      {"launcher, in the last bytes", launcher + "--out " + dir + "out.exe", launcherSize - 1, "out.exe"},
      {"extract, a file after the first", "extract " + dir + "full.exe --out " + dir + "files", 64 << 10, "files"},
  };
  for (const Limited& c : cases) {
    const std::string limit = "trap '' XFSZ; ulimit -f " + std::to_string(c.limit / 512) + "; ";
    const PackerRun run = RunPacker(scratch, c.arguments, limit);
    EXPECT_NE(run.status, 0) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find("cannot write"), std::string::npos) << c.label << "\n" << run.output;
    EXPECT_FALSE(fs::exists(dir + c.output)) << c.label;
    EXPECT_FALSE(fs::exists(dir + c.output + ".partial")) << c.label;
    EXPECT_FALSE(fs::exists(dir + c.output + ".digest")) << c.label;
    EXPECT_FALSE(fs::exists(dir + c.output + ".payload.partial")) << c.label;
  }
}

// Cases of one rule: what the whole output must hold, and what it must not.
struct MessageCase {
  std::string label;
  std::string arguments;
  int status;
  std::vector<std::string> present;
  std::vector<std::string> absent = {};
};

void ExpectMessages(const ScratchFolder& scratch, const std::vector<MessageCase>& cases) {
  for (const MessageCase& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    for (const std::string& text : c.present)
      EXPECT_NE(run.output.find(text), std::string::npos) << c.label << ": lacks " << text << "\n" << run.output;
    for (const std::string& text : c.absent)
      EXPECT_EQ(run.output.find(text), std::string::npos) << c.label << ": holds " << text << "\n" << run.output;
  }
}

// A folder with a one-file game, its payload and launcher, for the message
// tests.
class OneFileGame {
 public:
  OneFileGame() {
    scratch.Write("game/Quorvane.exe", Bytes(4000, 'q'));
    scratch.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
    scratch.Write("picture.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13});
    scratch.Write("program.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
    Bytes payload = PackInMemory({{"Quorvane.exe", Bytes(4000, 'q')}});
    scratch.Write("payload.bin", payload);
    // The stored stream's header check byte: the stream no longer decodes.
    const PayloadManifest manifest = ParsePayloadManifest(payload);
    payload[static_cast<std::size_t>(manifest[0].storedData.data() - payload.data()) + 6] ^= 0x5A;
    scratch.Write("undecodable.bin", payload);
  }
  std::string Path(const std::string& name) const { return (scratch.path() / name).string(); }
  std::string Launcher() const { return "launcher --game-dir " + Path("game") + " --stub " + Path("stub.exe"); }

  ScratchFolder scratch;
};

TEST(QvnPackMessages, EveryFailureStartsWithQvnPack) {
  const OneFileGame game;
  const std::vector<std::string> failing = {
      "",
      "frobnicate",
      "build --game-dir " + game.Path("game"),
      "build --game-dir " + game.Path("game") + " --out x --level 3",
      "build --game-dir " + game.Path("game") + " --out x --jobs two",
      "build --gamedir " + game.Path("game") + " --out x",
      "build --game-dir " + game.Path("absent") + " --out " + game.Path("x.bin"),
      "verify " + game.Path("absent.bin"),
      "list " + game.Path("game"),
      "extract " + game.Path("payload.bin"),
      game.Launcher() + " --out " + game.Path("x.exe") + " --icon " + game.Path("picture.png"),
      "help frobnicate",
  };
  for (const std::string& arguments : failing) {
    const PackerStreams run = RunPackerApart(game.scratch, arguments);
    EXPECT_NE(run.status, 0) << arguments;
    EXPECT_TRUE(run.error.starts_with("qvn_pack: ")) << arguments << "\n" << run.error;
  }
}

TEST(QvnPackMessages, TheCommandLineNamesWhatItTakes) {
  const OneFileGame game;
  ExpectMessages(game.scratch,
                 {
                     {"unknown option of a verb",
                      "build --gamedir " + game.Path("game") + " --out x",
                      2,
                      {"qvn_pack: unknown option --gamedir\n"},
                      {"is required"}},
                     {"unknown option before a verb", "--gamedir build", 2, {"qvn_pack: unknown option --gamedir\n"}},
                     {"help as a word", "help", 0, {"Usage: qvn_pack [OPTIONS] SUBCOMMAND", "launcher", "extract"}},
                     {"help for a verb", "help extract", 0, {"Usage: qvn_pack extract [OPTIONS] FILE", "--out"}},
                     {"help for no verb", "help frobnicate", 2, {"qvn_pack: no command frobnicate"}},
                     {"--level in build's help", "build --help", 0, {"  --level 1|2  "}, {"ENUM", "1|2:"}},
                     {"--level in launcher's help", "launcher --help", 0, {"  --level 1|2  "}, {"ENUM", "1|2:"}},
                 });
}

TEST(QvnPackMessages, OneFileIsCountedAsOne) {
  const OneFileGame game;
  ExpectMessages(
      game.scratch,
      {
          {"build",
           "build --game-dir " + game.Path("game") + " --out " + game.Path("one.bin"),
           0,
           {"packed 1 file, 4000 bytes"}},
          {"launcher", game.Launcher() + " --out " + game.Path("one.exe"), 0, {"packed 1 file, 4000 bytes"}},
          {"verify", "verify " + game.Path("one.exe"), 0, {": OK, 1 file, 4000 bytes"}},
          {"list", "list " + game.Path("one.exe"), 0, {"\n1 file  "}},
          {"extract", "extract " + game.Path("one.exe") + " --out " + game.Path("files"), 0, {"extracted 1 file from"}},
      });
}

TEST(QvnPackMessages, RefusedInputsSayWhatToDo) {
  const OneFileGame game;
  const std::string out = " --out " + game.Path("x.exe");
  ExpectMessages(game.scratch,
                 {
                     {"a PNG as icon",
                      game.Launcher() + out + " --icon " + game.Path("picture.png"),
                      1,
                      {"not an icon file (.ico)", "icotool -c -o game.ico game.png"}},
                     {"a company name of 40,000 characters",
                      game.Launcher() + out + " --company \"$(head -c 40000 /dev/zero | tr '\\0' x)\"",
                      1,
                      {"qvn_pack: --company is 40000 characters long; at most 4096 fit in the version information"}},
                     {"a long copyright of letters beyond ASCII",
                      game.Launcher() + out + " --copyright \"$(for i in $(seq 5000); do printf '\\303\\266'; done)\"",
                      1,
                      {"qvn_pack: --copyright is 5000 characters long"}},
                     {"an executable that is not a launcher",
                      "verify " + game.Path("program.exe"),
                      1,
                      {"executable " + game.Path("program.exe") + ": FAILED", "no embedded runtime"},
                      {"payload " + game.Path("program.exe")}},
                     {"a stream that does not decode",
                      "verify " + game.Path("undecodable.bin"),
                      1,
                      {"payload " + game.Path("undecodable.bin") +
                       ": FAILED\n  Quorvane.exe: Portable runtime decompression failed\n"},
                      {"Windows error"}},
                 });
  EXPECT_FALSE(fs::exists(game.Path("x.exe")));
}

// Every verb's help names the three exit statuses, and each verb keeps
// them: success, a refusal or failed check, a wrong command line.
TEST(QvnPackMessages, EveryVerbDocumentsAndKeepsItsExitStatuses) {
  const OneFileGame game;
  const std::string footer =
      "Exit status: 0 success; 1 a refusal or a failed check (the reason is printed, nothing is written); 2 a usage "
      "error (a wrong command line).";
  const std::string build = "build --game-dir " + game.Path("game") + " --out ";
  struct Verb {
    std::string name;
    std::string success;
    std::string refusal;
    std::string usage;
  };
  const std::vector<Verb> verbs = {
      {"build", build + game.Path("s.bin"), build + game.Path("game/in.bin"), build + game.Path("s.bin") + " --jobs 0"},
      {"launcher", game.Launcher() + " --out " + game.Path("s.exe"),
       game.Launcher() + " --out " + game.Path("s.exe") + " --version 1.2.3.4.5",
       game.Launcher() + " --out " + game.Path("s.exe") + " --level"},
      {"list", "list " + game.Path("payload.bin"), "list " + game.Path("game"), "list"},
      {"verify", "verify " + game.Path("payload.bin"), "verify " + game.Path("undecodable.bin"),
       "verify " + game.Path("payload.bin") + " --out x"},
      {"extract", "extract " + game.Path("payload.bin") + " --out " + game.Path("files"),
       "extract " + game.Path("undecodable.bin") + " --out " + game.Path("none"),
       "extract " + game.Path("payload.bin")},
      {"help", "help list", "", "help list extract"},
  };
  EXPECT_NE(RunPacker(game.scratch, "--help").output.find(footer), std::string::npos);
  for (const Verb& verb : verbs) {
    EXPECT_NE(RunPacker(game.scratch, verb.name + " --help").output.find(footer), std::string::npos) << verb.name;
    EXPECT_EQ(RunPacker(game.scratch, verb.success).status, 0) << verb.success;
    if (!verb.refusal.empty()) {
      EXPECT_EQ(RunPacker(game.scratch, verb.refusal).status, 1) << verb.refusal;
    }
    EXPECT_EQ(RunPacker(game.scratch, verb.usage).status, 2) << verb.usage;
  }
}

}  // namespace
}  // namespace qvn::pack
