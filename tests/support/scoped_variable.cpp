#include "tests/support/scoped_variable.h"

#include <windows.h>

namespace qvn::testing {

ScopedVariable::ScopedVariable(const wchar_t* name, std::optional<std::wstring> value)
    : name_(name), previous_(GetVariable(name)) {
  SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
}

ScopedVariable::~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), previous_ ? previous_->c_str() : nullptr); }

std::optional<std::wstring> GetVariable(const wchar_t* name) {
  SetLastError(0);
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::wstring();
  }
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

}  // namespace qvn::testing
