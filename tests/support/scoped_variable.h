#pragma once

#include <optional>
#include <string>

namespace qvn::testing {

// Sets (or, with nullopt, removes) an environment variable of this process,
// which programs started from here inherit, and puts the old value back,
// present, empty or absent, when it goes.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, std::optional<std::wstring> value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> previous_;
};

// The variable's value; an empty value is told apart from an absent one.
std::optional<std::wstring> GetVariable(const wchar_t* name);

}  // namespace qvn::testing
