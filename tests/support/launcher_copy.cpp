#include "tests/support/launcher_copy.h"

#include <windows.h>

#include <stdexcept>

#include "payload/payload_contract.h"
#include "tests/support/scratch_directory.h"

namespace qvn::testing {
namespace {

void UpdateRcData(HANDLE update, int id, std::vector<std::uint8_t> bytes) {
  if (!UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                       bytes.data(), static_cast<DWORD>(bytes.size()))) {
    throw std::runtime_error("UpdateResourceW failed: " + std::to_string(GetLastError()));
  }
}

}  // namespace

std::wstring BareLauncherPath() { return HostPathToWindows(QVN_BARE_LAUNCHER); }
std::wstring EmptyPayloadLauncherPath() { return HostPathToWindows(QVN_EMPTY_PAYLOAD_LAUNCHER); }

void MakeLauncherCopy(const std::wstring& destination, const PayloadResources& resources) {
  if (!CopyFileW(BareLauncherPath().c_str(), destination.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy the launcher: " + std::to_string(GetLastError()));
  }
  HANDLE update = BeginUpdateResourceW(destination.c_str(), FALSE);
  if (update == nullptr) throw std::runtime_error("BeginUpdateResourceW failed");
  if (!resources.omitPayload) UpdateRcData(update, 101, resources.payload);
  if (!resources.omitDigest) UpdateRcData(update, 102, resources.digest);
  if (!resources.progressWindow.empty()) UpdateRcData(update, kProgressWindowResourceId, resources.progressWindow);
  if (!EndUpdateResourceW(update, FALSE)) throw std::runtime_error("EndUpdateResourceW failed");
}

}  // namespace qvn::testing
