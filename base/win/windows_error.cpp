#include "base/win/windows_error.h"

#include "base/error.h"

namespace qvn {

void RaiseLastError(const std::string& text) {
  const DWORD code = GetLastError();
  throw Error(text, code);
}

void RequireSuccess(BOOL succeeded, const std::string& text) {
  if (!succeeded) RaiseLastError(text);
}

}  // namespace qvn
