#include "tools/pack/cli/examined_file.h"

#include <system_error>

#include "tools/pack/atomic_write/file_bytes.h"
#include "tools/pack/cli/command_refusal.h"

namespace qvn::pack {

std::vector<std::uint8_t> ReadExaminedFile(const std::filesystem::path& file) {
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) {
    throw CommandRefused(CommandFault::kNotExaminable,
                         "a folder, not a launcher or payload; name the launcher's .exe or a payload file");
  }
  return ReadFileBytes(file);
}

}  // namespace qvn::pack
