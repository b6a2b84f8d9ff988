#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/in_memory_payload.h"
#include "tests/support/launcher_copy.h"
#include "tests/support/launcher_report.h"
#include "tests/support/program_run.h"
#include "tests/support/scoped_variable.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_payload.h"

namespace qvn::testing {

// The game double and the DLL it faults in, as stored in a payload.
std::vector<TestFile> GameFiles();

// A copy of the real launcher, carrying the game double and any further
// files, in a scratch folder of its own: "<scratch>\q.exe" and its data.
class PortableLauncher {
 public:
  explicit PortableLauncher(const std::vector<TestFile>& extraFiles = {});
  // A launcher with exactly this payload (its digest made to match).
  explicit PortableLauncher(std::vector<std::uint8_t> payload);

  const std::wstring& exe() const { return exe_; }
  std::wstring data() const { return scratch_ / L"data"; }
  std::wstring data(const std::wstring& name) const { return scratch_ / (L"data\\" + name); }
  const ScratchDirectory& scratch() const { return scratch_; }

  ProgramResult Run(const std::wstring& arguments = L"") const { return RunProgram(exe_, arguments); }

  std::string ExitNotice(std::uint32_t status) const;

 private:
  ScratchDirectory scratch_;
  std::wstring exe_;
};

// The game's commands, one token a line, for runs whose arguments are
// themselves under test.
std::wstring GameScript(const std::vector<std::wstring>& tokens);

// Waits up to ~20 s for a path to appear; false if it never does.
bool WaitForPath(const std::wstring& path);

}  // namespace qvn::testing
