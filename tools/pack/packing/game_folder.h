#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "compression/buffer_format.h"
#include "tools/pack/packing/pack_progress.h"
#include "tools/pack/packing/pack_refusal.h"
#include "tools/pack/packing/payload_builder.h"

namespace qvn::pack {

struct GameFolderFile {
  std::string storedName;  // relative to the folder, "/" separators
  std::filesystem::path path;
  std::uint64_t size = 0;
};

// What a walk of a game folder found, each list in ascending name order.
// Links are never followed: a symbolic link (or junction, or anything else
// that is neither a plain file nor a folder) is a problem, since the
// launcher would extract something other than what the folder shows.
// Empty folders cannot be stored and are only named, for a warning.
struct GameFolderScan {
  std::vector<GameFolderFile> files;
  std::vector<PackProblem> problems;
  std::vector<std::string> emptyFolders;
};

// Walks the folder without reading any file. Raises Error when
// `root` is not a folder, std::filesystem::filesystem_error when the walk
// fails.
GameFolderScan ScanGameFolder(const std::filesystem::path& root);

// The scanned files' bytes together.
std::uint64_t ExpandedSize(const GameFolderScan& scan);

// Checks the scanned files against every rule (CheckPackFiles, with the
// walk's problems) and, only when nothing is wrong, reads them and writes
// the payload to `output` as it is made (WritePayload) on `jobs` threads.
PayloadSummary WriteGameFolderPayload(const GameFolderScan& scan, compression::Level level,
                                      const PackProgress& progress, unsigned jobs, const PayloadOutput& output);

}  // namespace qvn::pack
