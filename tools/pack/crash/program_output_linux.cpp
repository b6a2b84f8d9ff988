#include "tools/pack/crash/program_output.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qvn::pack {
namespace {

// A file descriptor closed when it goes.
class UniqueDescriptor {
 public:
  explicit UniqueDescriptor(int descriptor = -1) : descriptor_(descriptor) {}
  ~UniqueDescriptor() { Reset(); }
  UniqueDescriptor(const UniqueDescriptor&) = delete;
  UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;
  int get() const { return descriptor_; }
  void Reset() {
    // Nothing was written through these descriptors that a failed close
    // could lose.
    if (descriptor_ >= 0) static_cast<void>(close(descriptor_));
    descriptor_ = -1;
  }

 private:
  int descriptor_;
};

}  // namespace

std::optional<std::string> RunProgramForOutput(const std::vector<std::string>& command) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueDescriptor reader(ends[0]);
  UniqueDescriptor writer(ends[1]);
  UniqueDescriptor input(open("/dev/null", O_RDONLY | O_CLOEXEC));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writer.get(), STDOUT_FILENO);
  if (input.get() >= 0) posix_spawn_file_actions_adddup2(&actions, input.get(), STDIN_FILENO);
  std::vector<char*> arguments;
  arguments.reserve(command.size() + 1);
  for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  writer.Reset();
  if (spawned != 0) return std::nullopt;

  std::string output;
  char buffer[65536];
  while (true) {
    const ssize_t got = read(reader.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(buffer, static_cast<std::size_t>(got));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

std::optional<std::string> FindProgramOnPath(const std::vector<std::string>& names) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  for (const std::string& name : names) {
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
      if (folder.empty()) continue;
      const std::filesystem::path candidate = std::filesystem::path(folder) / name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
  }
  return std::nullopt;
}

}  // namespace qvn::pack
