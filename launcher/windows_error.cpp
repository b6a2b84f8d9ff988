#include "launcher/windows_error.h"

#include "launcher/launcher_error.h"

namespace qvn {

void RaiseLastError(const std::string& text) {
  const DWORD code = GetLastError();
  throw LauncherError(text, code);
}

void RequireSuccess(BOOL succeeded, const std::string& text) {
  if (!succeeded) RaiseLastError(text);
}

}  // namespace qvn
