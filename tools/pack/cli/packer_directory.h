#pragma once

#include <filesystem>

namespace qvn::pack {

// The name of the launcher stub, which lies beside qvn_pack in a build tree
// and in kInstalledStubDir of an installed prefix.
inline constexpr char kLauncherStubName[] = "qvn_portable_launcher_stub.exe";
inline constexpr char kInstalledStubDir[] = "share/quorvane-portable";

// The folder that holds the running qvn_pack.
std::filesystem::path PackerDirectory();

}  // namespace qvn::pack
