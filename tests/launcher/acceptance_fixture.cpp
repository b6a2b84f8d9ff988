#include "tests/launcher/acceptance_fixture.h"

#include <cstdio>

namespace qvn::testing {

std::vector<TestFile> GameFiles() {
  return {{"Quorvane.exe", ReadFileBytes(HostPathToWindows(QVN_TEST_GAME_PATH))},
          {"qvn_test_fault_dll.dll", ReadFileBytes(HostPathToWindows(QVN_TEST_FAULT_DLL_PATH))}};
}

PortableLauncher::PortableLauncher(const std::vector<TestFile>& extraFiles) : exe_(scratch_ / L"q.exe") {
  std::vector<TestFile> files = GameFiles();
  files.insert(files.end(), extraFiles.begin(), extraFiles.end());
  const std::vector<std::uint8_t> payload = PackInMemory(files);
  const auto digest = Sha256Of(payload);
  MakeLauncherCopy(exe_, {payload, std::vector<std::uint8_t>(digest.begin(), digest.end())});
}

PortableLauncher::PortableLauncher(std::vector<std::uint8_t> payload) : exe_(scratch_ / L"q.exe") {
  const auto digest = Sha256Of(payload);
  MakeLauncherCopy(exe_, {std::move(payload), std::vector<std::uint8_t>(digest.begin(), digest.end())});
}

std::string PortableLauncher::ExitNotice(std::uint32_t status) const {
  char hex[16] = {};
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(status));
  return Report(std::string("Game exited with status ") + hex + ". Details are in:\n" + Narrow(data(L"game.log")));
}

std::wstring GameScript(const std::vector<std::wstring>& tokens) {
  std::wstring script;
  for (const std::wstring& token : tokens) script += token + L"\n";
  return script;
}

bool WaitForPath(const std::wstring& path) {
  for (int i = 0; i < 2000; ++i) {
    if (PathExists(path)) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace qvn::testing
