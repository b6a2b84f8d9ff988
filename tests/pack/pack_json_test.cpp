// qvn_pack --json, run as a pipeline runs it: every verb's document, for a
// success and a refusal, against the shape docs/json.md writes down, and
// its values against the human output and against readings of our own.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "base/sha256.h"
#include "payload/payload_manifest.h"
#include "tests/pack/minimal_pe_image.h"
#include "tests/support/in_memory_payload.h"
#include "tests/support/scratch_folder.h"
#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/image/pe_resource.h"
#include "tools/pack/image/pe_resource_reader.h"
#include "tools/pack/image/version_resource.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;
using testing::MakePeImage;
using testing::PackInMemory;
using testing::ScratchFolder;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Slurp(const fs::path& path) {
  std::ifstream stream(path, std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

struct ShellRun {
  int status;
  std::string out;
};

// `command` run by the shell, its standard output kept (standard error
// goes to a file of its own).
ShellRun Shell(const ScratchFolder& scratch, const std::string& command) {
  const fs::path out = scratch.path() / "stdout.txt";
  const int result =
      std::system((command + " >'" + out.string() + "' 2>'" + (scratch.path() / "stderr.txt").string() + "'").c_str());
  return {WIFEXITED(result) ? WEXITSTATUS(result) : -1, Slurp(out)};
}

ShellRun Packer(const ScratchFolder& scratch, const std::string& arguments) {
  const fs::path packer = fs::read_symlink("/proc/self/exe").parent_path() / "qvn_pack";
  return Shell(scratch, "'" + packer.string() + "' " + arguments);
}

// A field of the documented shape.
struct FieldSpec {
  std::string type;  // "string", "integer", ...; "string, null" allows either
  std::string when;  // always, success, failure, optional
};
using Shape = std::map<std::string, FieldSpec>;

// The tables of docs/json.md, by section ("Every document", "build", ...).
std::map<std::string, Shape> DocumentedShapes() {
  std::map<std::string, Shape> shapes;
  std::istringstream doc(Slurp(QVN_JSON_DOC));
  const std::regex heading("^## (.+)$");
  const std::regex row("^\\| `([^`]+)` \\| ([a-z, ]+) \\| ([a-z]+) \\|.*$");
  std::string section;
  std::smatch match;
  for (std::string line; std::getline(doc, line);) {
    if (std::regex_match(line, match, heading)) section = match[1];
    if (std::regex_match(line, match, row)) shapes[section][match[1]] = {match[2], match[3]};
  }
  return shapes;
}

std::string TypeOf(const json& value) {
  if (value.is_null()) return "null";
  if (value.is_boolean()) return "boolean";
  if (value.is_number_integer()) return "integer";
  if (value.is_string()) return "string";
  if (value.is_array()) return "array";
  return "object";
}

// Every field of a document by its documented path: "a.b", "a[]", "a.*"
// for a key the shape does not name.
void Flatten(const json& value, const std::string& path, const Shape& shape, std::map<std::string, json>& fields) {
  // An array's element stands for itself only when it holds no fields.
  if (!path.empty() && !(path.ends_with("[]") && value.is_object())) fields[path] = value;
  if (value.is_object()) {
    for (const auto& [key, child] : value.items()) {
      std::string named = path;
      if (!named.empty()) named += '.';
      named += key;
      Flatten(child, shape.count(named) || !shape.count(path + ".*") ? named : path + ".*", shape, fields);
    }
  } else if (value.is_array()) {
    for (const json& element : value) Flatten(element, path + "[]", shape, fields);
  }
}

void ExpectMatchesShape(const json& document, const std::string& verb, const std::string& label) {
  const std::map<std::string, Shape> shapes = DocumentedShapes();
  ASSERT_TRUE(shapes.count("Every document") && shapes.count(verb)) << "docs/json.md lacks a table for " << verb;
  Shape shape = shapes.at("Every document");
  for (const auto& [path, documented] : shapes.at(verb)) shape[path] = documented;
  std::map<std::string, json> fields;
  Flatten(document, "", shape, fields);
  for (const auto& [path, value] : fields) {
    const auto documented = shape.find(path);
    if (documented == shape.end()) {
      ADD_FAILURE() << label << ": " << path << " is not in docs/json.md";
      continue;
    }
    EXPECT_NE((", " + documented->second.type + ",").find(", " + TypeOf(value) + ","), std::string::npos)
        << label << ": " << path << " is " << TypeOf(value) << ", documented as " << documented->second.type;
  }
  const bool ok = document.value("ok", false);
  for (const auto& [path, documented] : shape) {
    const bool required =
        documented.when == "always" || (documented.when == "success" && ok) || (documented.when == "failure" && !ok);
    if (required) {
      EXPECT_TRUE(fields.count(path)) << label << ": " << path << " is missing";
    }
  }
  EXPECT_EQ(document.value("format", 0), 1) << label;
}

// The documents of one verb, a success and a refusal, parsed.
struct VerbRuns {
  std::string verb;
  std::string success;  // arguments
  std::string refusal;
  int refusalStatus = 1;
};

std::string Sha256sum(const ScratchFolder& scratch, const std::string& path) {
  return Shell(scratch, "sha256sum '" + path + "' | cut -c1-64").out.substr(0, 64);
}

class PackJson : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.Write("game/Quorvane.exe", Bytes(5000, 'q'));
    scratch_.Write("game/levels/one.txt", Text("level one"));
    fs::create_directories(scratch_.path() / "game/empty");
    scratch_.Write("bad/a b.txt", Text("x"));
    scratch_.Write("stub.exe", MakePeImage({{24, 1, 0, Text("<assembly/>")}}));
    scratch_.Write("picture.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10});
    Bytes damaged = PackInMemory({{"Quorvane.exe", Bytes(5000, 'q')}});
    damaged.back() ^= 0x40;
    scratch_.Write("damaged.bin", damaged);
    const Bytes dump = ReadFileBytes(QVN_CRASH_DUMP);
    scratch_.Write("crash.dmp", dump);
    scratch_.Write("cut.dmp", Bytes(dump.begin(), dump.begin() + 100));
  }
  std::string Path(const std::string& name) const { return (scratch_.path() / name).string(); }

  ScratchFolder scratch_;
};

TEST_F(PackJson, EveryVerbsDocumentHasTheDocumentedShape) {
  const std::string launcher =
      "launcher --game-dir " + Path("game") + " --stub " + Path("stub.exe") + " --version 2.1 --company Studio --out ";
  const std::vector<VerbRuns> verbs = {
      {"build", "build --game-dir " + Path("game") + " --out " + Path("game.bin"),
       "build --game-dir " + Path("bad") + " --out " + Path("bad.bin")},
      {"launcher", launcher + Path("game.exe"), launcher + Path("x.exe") + " --icon " + Path("picture.png")},
      {"list", "list " + Path("game.exe"), "list " + Path("game")},
      {"verify", "verify " + Path("game.exe"), "verify " + Path("damaged.bin")},
      {"extract", "extract " + Path("game.exe") + " --out " + Path("files"),
       "extract " + Path("damaged.bin") + " --out " + Path("none")},
      {"crash", "crash " + Path("crash.dmp"), "crash " + Path("cut.dmp")},
      {"build", "", "build --game-dir " + Path("game") + " --out " + Path("x.bin") + " --level 3", 2},
  };
  for (const VerbRuns& verb : verbs) {
    for (const bool success : {true, false}) {
      const std::string arguments = success ? verb.success : verb.refusal;
      if (arguments.empty()) continue;
      const ShellRun run = Packer(scratch_, arguments + " --json");
      EXPECT_EQ(run.status, success ? 0 : verb.refusalStatus) << arguments << "\n" << run.out;
      if (!success) {
        EXPECT_EQ(run.status, Packer(scratch_, arguments).status) << arguments << ": the same status without --json";
      }
      json document;
      ASSERT_NO_THROW(document = json::parse(run.out)) << arguments << "\n" << run.out;
      EXPECT_EQ(document.value("ok", true), run.status == 0) << arguments;
      EXPECT_EQ(document.value("command", ""), verb.verb) << arguments;
      ExpectMatchesShape(document, verb.verb, arguments);
    }
  }
  // Before any verb, the document still comes, for no verb.
  const json usage = json::parse(Packer(scratch_, "--gamedir x --json").out);
  EXPECT_TRUE(usage["command"].is_null());
  EXPECT_EQ(usage["error"]["kind"], "usage");
  EXPECT_EQ(usage["error"]["message"], "unknown option --gamedir");
}

// The human output's value after `label` up to the next space or comma.
std::string HumanValue(const std::string& human, const std::string& label) {
  const std::size_t at = human.find(label);
  if (at == std::string::npos) return "(no " + label + ")";
  const std::size_t start = at + label.size();
  return human.substr(start, human.find_first_of(" ,\n", start) - start);
}

TEST_F(PackJson, ValuesAreThoseOfTheHumanOutputAndOfIndependentReadings) {
  // build: the digest is sha256sum's of the payload and the human line's.
  const std::string build = "build --game-dir " + Path("game") + " --out " + Path("game.bin");
  const json built = json::parse(Packer(scratch_, build + " --json").out);
  const std::string builtHuman = Packer(scratch_, build).out;
  EXPECT_EQ(built["payload"]["sha256"], Sha256sum(scratch_, Path("game.bin")));
  EXPECT_EQ(built["payload"]["sha256"], HumanValue(builtHuman, "sha256:  "));
  EXPECT_EQ(built["payload"]["size"], fs::file_size(Path("game.bin")));
  EXPECT_EQ(std::to_string(built["fileCount"].get<int>()), HumanValue(builtHuman, "packed "));
  EXPECT_EQ(built["emptyFoldersLeftOut"], json::array({"empty"}));

  // launcher: version and icons as said, the payload as resource 101 holds it.
  const std::string make = "launcher --game-dir " + Path("game") + " --stub " + Path("stub.exe") +
                           " --version 2.1 --company 'Studio Ö' --out " + Path("game.exe");
  const json made = json::parse(Packer(scratch_, make + " --json").out);
  EXPECT_EQ(made["fileVersion"], HumanValue(Packer(scratch_, make).out, "version "));
  const Bytes exe = ReadFileBytes(Path("game.exe"));
  const auto payload = FindRcDataResource(exe, 101);
  ASSERT_TRUE(payload);
  scratch_.Write("resource-101.bin", Bytes(payload->begin(), payload->end()));
  EXPECT_EQ(made["payload"]["sha256"], Sha256sum(scratch_, Path("resource-101.bin")));

  // list: each entry as the human table has it; the version strings as the
  // version-resource reader reads them.
  const json listed = json::parse(Packer(scratch_, "list " + Path("game.exe") + " --json").out);
  const std::string listHuman = Packer(scratch_, "list " + Path("game.exe")).out;
  ASSERT_EQ(listed["entries"].size(), 2u);
  for (const json& entry : listed["entries"]) {
    const std::string row = entry["name"].get<std::string>() + " +" + std::to_string(entry["expandedSize"].get<int>()) +
                            " +" + std::to_string(entry["storedSize"].get<int>()) + " +[0-9.]+% +" +
                            entry["sha256"].get<std::string>() + "\n";
    EXPECT_TRUE(std::regex_search(listHuman, std::regex(row))) << row << " not in\n" << listHuman;
  }
  EXPECT_EQ(listed["payload"], made["payload"]);
  std::map<std::string, std::string> versionStrings;
  for (const PeResource& resource : ReadPeResources(exe)) {
    if (resource.type != ResourceName(kResourceTypeVersion)) continue;
    for (const auto& [name, value] : ReadVersionStrings(resource.bytes)) versionStrings[name] = value;
  }
  ASSERT_EQ(versionStrings.size(), 8u);
  for (const auto& [name, value] : versionStrings) {
    EXPECT_EQ(listed["launcher"]["versionStrings"][name], value) << name;
    std::string line = "version ";
    line.append(name).append(": ").append(value) += '\n';
    EXPECT_NE(listHuman.find(line), std::string::npos) << name;
  }
  EXPECT_EQ(listed["launcher"]["versionStrings"]["CompanyName"], "Studio Ö");
  EXPECT_EQ(std::to_string(listed["launcher"]["iconImages"].get<int>()), HumanValue(listHuman, "icon images: "));
  EXPECT_EQ(listed["launcher"]["signed"], HumanValue(listHuman, "certificate table: ") == "signed");

  // verify: the counts of the OK line; a damaged payload's problems are the
  // lines under FAILED.
  const json verified = json::parse(Packer(scratch_, "verify " + Path("game.exe") + " --json").out);
  const std::string verifyHuman = Packer(scratch_, "verify " + Path("game.exe")).out;
  EXPECT_EQ(verified["verdict"], "ok");
  EXPECT_EQ(std::to_string(verified["fileCount"].get<int>()), HumanValue(verifyHuman, ": OK, "));
  EXPECT_EQ(verified["payload"], made["payload"]);
  EXPECT_EQ(verified["launcher"], listed["launcher"]);
  const json damaged = json::parse(Packer(scratch_, "verify " + Path("damaged.bin") + " --json").out);
  const std::string damagedHuman = Packer(scratch_, "verify " + Path("damaged.bin")).out;
  EXPECT_EQ(damaged["verdict"], "failed");
  EXPECT_EQ(damaged["payload"]["sha256"], Sha256sum(scratch_, Path("damaged.bin")));
  EXPECT_EQ(damaged["error"]["kind"], "damaged");
  ASSERT_EQ(damaged["error"]["problems"].size(), 1u);
  const json& problem = damaged["error"]["problems"][0];
  EXPECT_EQ(problem["kind"], "decompression-failed");
  EXPECT_NE(
      damagedHuman.find("  " + problem["subject"].get<std::string>() + ": " + problem["message"].get<std::string>()),
      std::string::npos)
      << damagedHuman;

  // A refused game: each problem with its kind, as the human lines say it.
  const json refused = json::parse(Packer(scratch_, "build --game-dir " + Path("bad") + " --out x --json").out);
  EXPECT_EQ(refused["error"]["kind"], "game-refused");
  const json expectedKinds = {{"Quorvane.exe", "game-folder"}, {"a b.txt", "unsafe-name-byte"}};
  for (const json& item : refused["error"]["problems"]) {
    EXPECT_EQ(item["kind"], expectedKinds.value(item["subject"].get<std::string>(), "?")) << item.dump();
  }

  // crash: each refusal of a player's files with its kind, in the words of the text.
  const std::map<std::string, std::string> crashKinds = {
      {"crash " + Path("cut.dmp"), "damaged-dump"},
      {"crash " + Path("picture.png"), "not-a-minidump"},
      {"crash " + Path("crash.dmp") + " --launcher " + Path("damaged.bin"), "damaged"},
  };
  for (const auto& [arguments, kind] : crashKinds) {
    const json document = json::parse(Packer(scratch_, arguments + " --json").out);
    EXPECT_EQ(document["error"]["kind"], kind) << arguments;
    Packer(scratch_, arguments);
    EXPECT_EQ("qvn_pack: " + document["error"]["message"].get<std::string>() + "\n",
              Slurp(scratch_.path() / "stderr.txt"))
        << arguments;
  }

  // extract: the count of the human line.
  const json extracted =
      json::parse(Packer(scratch_, "extract " + Path("game.exe") + " --out " + Path("files") + " --json").out);
  EXPECT_EQ(extracted["fileCount"], 2);
  EXPECT_EQ(Packer(scratch_, "extract " + Path("game.exe") + " --out " + Path("files2")).out,
            "extracted 2 files from " + Path("game.exe") + " into " + Path("files2") + "\n");
}

}  // namespace
}  // namespace qvn::pack
