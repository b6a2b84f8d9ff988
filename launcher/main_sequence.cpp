#include "launcher/main_sequence.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "base/error.h"
#include "base/path_composition.h"
#include "base/win/module_path.h"
#include "base/win/wide_text.h"
#include "base/win/windows_error.h"
#include "launcher/embedded_payload.h"
#include "launcher/report_failure.h"
#include "launcher/unpacking_window_thread.h"
#include "payload/payload_contract.h"
#include "payload/payload_manifest.h"
#include "runtime/decompressor.h"
#include "runtime/extract_runtime.h"
#include "runtime/portable_directory.h"
#include "runtime/remove_runtime_directory.h"
#include "supervision/win/debug_event_wait.h"
#include "supervision/win/run_game.h"

namespace qvn {
namespace {

// Share mode 0 makes the lock exclusive; delete-on-close removes it with the
// last handle, also when the launcher is killed.
UniqueHandle OpenLockFile(const std::wstring& dataDirectory) {
  const std::wstring path = JoinPath(dataDirectory, kLockFileName.wide());
  UniqueHandle lock(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
  if (!lock.valid()) RaiseLastError("Portable game already running or data directory not writable");
  return lock;
}

// The work the window's bar stands for: the payload hashed, then every
// file decoded, hashed and written.
std::uint64_t UnpackingWork(std::span<const std::uint8_t> payload, const PayloadManifest& manifest) {
  std::uint64_t work = payload.size();
  for (const PayloadEntry& entry : manifest) work += 3 * entry.expandedSize;
  return work;
}

// What the run needs from the loader, all taken before the window thread
// starts. That thread's first user32 call can hold the loader lock for
// seconds (under Wine, while it waits for the desktop process), and any step
// of the run that wanted the lock meanwhile would wait with it: the
// launcher's path, the resources, a function looked up by name, and a
// thread started or ended (thread attach and detach), which is why the
// decompressor, with its kept thread, is made here too.
struct FromLoader {
  EmbeddedPayload embedded = FindEmbeddedPayload();
  std::wstring launcherPath = GetLauncherPath();
  DebugEventWait waitForDebugEvent;
  std::unique_ptr<Decompressor> decompressor = CreateDecompressor();
};

// Extraction and the game run under a handler that removes a half-made
// runtime before the failure goes on; a failing removal is shown first.
// The window is gone before the game starts and before any report.
std::uint32_t ExtractAndRunGame(const PayloadManifest& manifest, const PortableDirectories& directories,
                                const FromLoader& loaded, UnpackingWindowThread& window) {
  try {
    ExtractRuntime(manifest, directories.runtimeDirectory, *loaded.decompressor, window.progress());
    window.Close();
    return RunGame(directories.runtimeDirectory, directories.dataDirectory, loaded.launcherPath,
                   loaded.waitForDebugEvent);
  } catch (...) {
    window.Close();
    try {
      RemoveRuntimeDirectory(directories.runtimeDirectory);
    } catch (const std::exception& removalFailure) {
      ReportFailure(removalFailure.what());
    } catch (...) {
    }
    throw;
  }
}

std::uint32_t RunLauncherSequence(UnpackingWindowShow show) {
  const FromLoader loaded;
  // Declared before anything that can fail once it runs, so that on every
  // way out it is gone before the failure is reported.
  UnpackingWindowThread window(show);
  const std::span<const std::uint8_t> payload = VerifyEmbeddedPayload(loaded.embedded, window.progress());
  const PayloadManifest manifest = ParsePayloadManifest(payload);
  window.progress().SetTotal(UnpackingWork(payload, manifest));

  PortableDirectories directories;
  directories.dataDirectory = JoinPath(ParentDirectory(loaded.launcherPath), kDataFolderName.wide());
  directories.dataDirectoryHandle = OpenPortableDirectory(directories.dataDirectory, true);
  directories.lockFile = OpenLockFile(directories.dataDirectory);
  directories.runtimeDirectory = JoinPath(directories.dataDirectory, kRuntimeFolderName.wide());

  RemoveRuntimeDirectory(directories.runtimeDirectory);
  const std::uint32_t status = ExtractAndRunGame(manifest, directories, loaded, window);
  RemoveRuntimeDirectory(directories.runtimeDirectory);

  // Shown while the lock is held, so a second launcher is refused until the
  // user has dismissed the box.
  if (status != 0) {
    ReportFailure(ExitStatusMessage(status, JoinPath(directories.dataDirectory, kGameLogName.wide())));
  }
  return status;
}

}  // namespace

std::string ExitStatusMessage(std::uint32_t status, const std::wstring& gameLogPath) {
  char statusText[32] = {};
  std::snprintf(statusText, sizeof statusText, "0x%08lX", static_cast<unsigned long>(status));
  std::string message = "Game exited with status ";
  message += statusText;
  message += ". Details are in:\n";
  message += WideToUtf8(gameLogPath);
  return message;
}

std::uint32_t RunLauncher(UnpackingWindowShow show) noexcept {
  try {
    return RunLauncherSequence(show);
  } catch (const std::exception& failure) {
    // Every holder of the run has been released by now: the lock file is
    // gone before the user sees anything.
    ReportFailure(failure.what());
    return 1;
  }
}

}  // namespace qvn
