#include "launcher/unpacking_window_thread.h"

#include "payload/payload_contract.h"

namespace qvn {
namespace {

// A start that is done by then never shows the window.
constexpr std::uint64_t kDelayMilliseconds = 500;
// A window that is up and stuck inside user32 must not hold up the game:
// after this the run goes on, and the thread takes the window down once it
// can.
constexpr DWORD kCloseWaitMilliseconds = 5000;

bool IsWindowAllowed() {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(kProgressWindowResourceId), MAKEINTRESOURCEW(10));
  if (resource == nullptr || SizeofResource(nullptr, resource) != 1) return true;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  return bytes == nullptr || *static_cast<const std::uint8_t*>(bytes) != kProgressWindowNever;
}

std::uint64_t FileTimeMilliseconds(FILETIME time) {
  return ((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) / 10000;
}

// Counted from the process's creation, so that the loader's and the
// runtime's own start-up count as part of the wait the player sees.
DWORD RemainingDelay() {
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return kDelayMilliseconds;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t elapsed = FileTimeMilliseconds(now) - FileTimeMilliseconds(created);
  return elapsed >= kDelayMilliseconds ? 0 : static_cast<DWORD>(kDelayMilliseconds - elapsed);
}

}  // namespace

UnpackingWindowThread::UnpackingWindowThread(UnpackingWindowShow show) {
  if (!IsWindowAllowed()) return;
  shared_->show = show;
  shared_->stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!shared_->stop.valid()) return;
  auto threadShare = std::make_unique<std::shared_ptr<Shared>>(shared_);
  thread_.reset(CreateThread(nullptr, 0, &ThreadMain, threadShare.get(), 0, nullptr));
  if (thread_.valid()) static_cast<void>(threadShare.release());  // now the thread's
}

void UnpackingWindowThread::Close() noexcept {
  if (!thread_.valid()) return;
  SetEvent(shared_->stop.get());
  if (shared_->showing.Withdraw()) WaitForSingleObject(thread_.get(), kCloseWaitMilliseconds);
  thread_.reset();
}

DWORD WINAPI UnpackingWindowThread::ThreadMain(void* threadShare) {
  const std::unique_ptr<std::shared_ptr<Shared>> owned(static_cast<std::shared_ptr<Shared>*>(threadShare));
  Shared& shared = **owned;
  if (WaitForSingleObject(shared.stop.get(), RemainingDelay()) != WAIT_TIMEOUT) return 0;
  try {
    shared.show(shared.stop.get(), shared.progress, shared.showing);
  } catch (...) {
    // No display, no desktop, a missing library: the run goes on unchanged.
  }
  return 0;
}

}  // namespace qvn
