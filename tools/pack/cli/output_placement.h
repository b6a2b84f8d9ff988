#pragma once

#include <filesystem>
#include <string>

namespace qvn::pack {

// Refuses (CommandRefused) an output that would land inside the game folder, so
// that the next run does not pack it as one of the game's files. The paths
// are compared as the file system resolves them: relative, with "..", or
// through a symbolic link, the file that would be written is found where it
// really lies. `option` names the output's option in the message.
void RefuseOutputInsideGame(const std::filesystem::path& gameDir, const std::filesystem::path& out,
                            const std::string& option);

// Refuses (CommandRefused), with the reason, an output that could not be
// written where it is named: its folder is missing or a file, the name is a
// folder, or the folder takes no new file. Run before any packing, so that
// a mistyped path costs no time.
void RefuseUnwritableOutput(const std::filesystem::path& out, const std::string& option);

}  // namespace qvn::pack
