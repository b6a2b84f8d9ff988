#pragma once

#include <filesystem>
#include <optional>

#include "compression/buffer_format.h"
#include "tools/pack/worker_pool.h"

namespace qvn::pack {

// Exit statuses of qvn_pack.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRefused = 1;  // the input is refused or damaged, or cannot be read or written
inline constexpr int kExitUsage = 2;    // the command line is wrong

struct BuildCommand {
  std::filesystem::path gameDir;
  std::filesystem::path out;
  std::optional<std::filesystem::path> digestOut;  // default: "<out>.digest"
  compression::Level level = compression::Level::kFast;
  unsigned jobs = MachineThreadCount();
};

// Each prints its result on standard output and its warnings and failures
// on standard error, and returns the exit status.
int RunBuild(const BuildCommand& command);
int RunList(const std::filesystem::path& file);
int RunVerify(const std::filesystem::path& file);

}  // namespace qvn::pack
