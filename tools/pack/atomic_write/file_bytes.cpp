#include "tools/pack/atomic_write/file_bytes.h"

#include <fstream>

#include "base/error.h"
#include "base/utf8_path.h"
#include "tools/pack/atomic_write/output_file.h"

namespace qvn::pack {

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  // A folder opens as a stream on Linux and reports an absurd size.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) throw Error(PathText(path) + " is a folder, not a file");
  std::ifstream stream(path, std::ios::binary | std::ios::ate);
  if (!stream) throw Error("cannot open " + PathText(path));
  const std::streamoff size = stream.tellg();
  if (size < 0) throw Error("cannot read " + PathText(path));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  stream.seekg(0);
  stream.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!stream) throw Error("cannot read " + PathText(path));
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                    const std::function<void(const std::filesystem::path& written)>& check) {
  OutputFile file(path);
  file.Write(bytes);
  file.Commit(check);
}

}  // namespace qvn::pack
