// Runs the qvn_pack program built beside this test.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/minimal_pe_image.h"
#include "tests/host/scratch_folder.h"
#include "tools/pack/file_bytes.h"
#include "tools/pack/payload_builder.h"
#include "tools/pack/sha256_hash.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::MakePeImage;
using testing::ScratchFolder;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct PackerRun {
  int status;
  std::string output;  // standard output and standard error together
};

PackerRun RunPacker(const ScratchFolder& scratch, const std::string& arguments) {
  const fs::path packer = fs::read_symlink("/proc/self/exe").parent_path() / "qvn_pack";
  const fs::path output = scratch.path() / "output.txt";
  const std::string command = "'" + packer.string() + "' " + arguments + " >'" + output.string() + "' 2>&1";
  const int result = std::system(command.c_str());
  const Bytes text = ReadFileBytes(output);
  return {WIFEXITED(result) ? WEXITSTATUS(result) : -1, std::string(text.begin(), text.end())};
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
  const std::vector<PackInput> game = {{"Quorvane.exe", Text("main")}, {"assets/readme.txt", Text("hello")}};
  for (const PackInput& file : game) scratch.Write("game/" + file.storedName, file.contents);
  scratch.Write("bad/a b.txt", Text("x"));
  scratch.Write("bad/data/x", Text("x"));

  const Bytes payload = BuildPayload(game);
  const Sha256Hash digest = HashSha256(payload);
  Bytes flipped = payload;
  flipped[flipped.size() - 1] ^= 0x40;  // the last byte of assets/readme.txt, stored raw
  scratch.Write("payload.bin", payload);
  scratch.Write("flipped.bin", flipped);
  scratch.Write("launcher.exe", MakePeImage({{10, 101, 0, payload}, {10, 102, 0, Bytes(digest.begin(), digest.end())}}));
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
      {"build", "build --game-dir " + dir + "game --out " + dir + "built.bin", 0, "packed 2 files"},
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
      {"verify damaged payload", "verify " + dir + "flipped.bin", 1, "FAILED\n  assets/readme.txt: Portable file SHA-256 mismatch"},
      {"verify a file that is no payload", "verify " + dir + "notes.txt", 1, "Unsupported portable payload format"},
      {"verify executable without payload", "verify " + dir + "no-payload.exe", 1, "no embedded runtime"},
      {"list executable without payload", "list " + dir + "no-payload.exe", 1, "no embedded runtime"},
      {"verify missing file", "verify " + dir + "absent.bin", 1, "cannot open"},
  };
  for (const CliCase& c : cases) {
    const PackerRun run = RunPacker(scratch, c.arguments);
    EXPECT_EQ(run.status, c.status) << c.label << "\n" << run.output;
    EXPECT_NE(run.output.find(c.expectedOutput), std::string::npos) << c.label << "\n" << run.output;
  }

  EXPECT_EQ(ReadFileBytes(dir + "built.bin"), payload) << "the tool writes what the library builds";
  EXPECT_EQ(ReadFileBytes(dir + "built.bin.digest"), Bytes(digest.begin(), digest.end()));
  const Sha256Hash strongDigest = HashSha256(ReadFileBytes(dir + "strong.bin"));
  EXPECT_EQ(ReadFileBytes(dir + "strong.sha"), Bytes(strongDigest.begin(), strongDigest.end()));
  for (const std::string& unwritten : {"refused.bin", "refused.bin.digest", "x.bin", "absent.bin.digest"}) {
    EXPECT_FALSE(fs::exists(dir + unwritten)) << unwritten;
  }
}

}  // namespace
}  // namespace qvn::pack
