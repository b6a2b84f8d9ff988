#include "tools/pack/cli/output_placement.h"

#include <system_error>

#include "base/utf8_path.h"
#include "tools/pack/atomic_write/output_file.h"
#include "tools/pack/cli/command_refusal.h"

namespace qvn::pack {
namespace {

namespace fs = std::filesystem;

// Whether `path` or a folder above it is the game folder. Compared by
// identity (device and file number), not by spelling, so that letter case
// on Windows and a folder reached twice by links do not matter.
bool LiesIn(const fs::path& path, const fs::path& gameDir) {
  for (fs::path at = path; !at.empty(); at = at.parent_path()) {
    std::error_code error;
    if (fs::equivalent(at, gameDir, error)) return true;
    if (at == at.parent_path()) break;
  }
  return false;
}

}  // namespace

void RefuseOutputInsideGame(const fs::path& gameDir, const fs::path& out, const std::string& option) {
  std::error_code error;
  const fs::path absolute = fs::absolute(out, error);
  if (error) return;  // writing it will fail and say why
  // The file itself (it may be a link into the folder) and the file its
  // folder will hold once written (a link there is replaced, not followed).
  const fs::path resolved = fs::weakly_canonical(absolute, error);
  const fs::path placed = fs::weakly_canonical(absolute.parent_path(), error) / absolute.filename();
  if (!LiesIn(resolved, gameDir) && !LiesIn(placed, gameDir)) return;
  const fs::path beside = fs::weakly_canonical(fs::absolute(gameDir, error), error).parent_path() / out.filename();
  throw CommandRefused(
      CommandFault::kOutputPlace,
      option + " " + PathText(out) + " lies inside the game folder " + PathText(gameDir) +
          ", so the next run would pack it as a game file; write it outside that folder, for example " +
          PathText(beside));
}

void RefuseUnwritableOutput(const fs::path& out, const std::string& option) {
  const std::string refused = option + " " + PathText(out) + " cannot be written: ";
  std::error_code error;
  if (fs::is_directory(out, error))
    throw CommandRefused(CommandFault::kOutputPlace, refused + "it is a folder; name the file to write inside it");
  const fs::path folder = out.has_parent_path() ? out.parent_path() : fs::path(".");
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) {
    throw CommandRefused(CommandFault::kOutputPlace,
                         refused + "the folder " + PathText(folder) + " does not exist; create it first");
  }
  if (!fs::is_directory(status))
    throw CommandRefused(CommandFault::kOutputPlace, refused + "the folder " + PathText(folder) + " is a file");
  try {
    // The file is written under its partial name; opening that, and
    // removing it again, is the real test of the folder.
    const OutputFile probe(out);
  } catch (const std::runtime_error& failure) {
    throw CommandRefused(CommandFault::kOutputPlace, option + ": " + failure.what());
  }
}

}  // namespace qvn::pack
