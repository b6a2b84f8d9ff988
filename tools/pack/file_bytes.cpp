#include "tools/pack/file_bytes.h"

#include <fstream>
#include <stdexcept>

#include "tools/pack/utf8_path.h"

namespace qvn::pack {

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary | std::ios::ate);
  if (!stream) throw std::runtime_error("cannot open " + PathText(path));
  const std::streamoff size = stream.tellg();
  if (size < 0) throw std::runtime_error("cannot read " + PathText(path));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  stream.seekg(0);
  stream.read(reinterpret_cast<char*>(bytes.data()), size);
  if (!stream) throw std::runtime_error("cannot read " + PathText(path));
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::filesystem::path partial = path;
  partial += ".partial";
  {
    std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    if (!stream) {
      std::error_code ignored;
      std::filesystem::remove(partial, ignored);
      throw std::runtime_error("cannot write " + PathText(path));
    }
  }
  std::filesystem::rename(partial, path);
}

}  // namespace qvn::pack
