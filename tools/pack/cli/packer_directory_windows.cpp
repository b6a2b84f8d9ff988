#include "tools/pack/cli/packer_directory.h"

#include <windows.h>

#include <filesystem>
#include <vector>

#include "base/error.h"

namespace qvn::pack {

std::filesystem::path PackerDirectory() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length == path.size()) throw Error("cannot find the packer's own path");
  return std::filesystem::path(std::wstring(path.data(), length)).parent_path();
}

}  // namespace qvn::pack
