#pragma once

#include <string>

#include "launcher/launcher_error.h"

namespace qvn::testing {

// The text of the LauncherError an action raises, or "(no failure)".
template <typename Action>
std::string FailureOf(const Action& action) {
  try {
    action();
  } catch (const LauncherError& failure) {
    return failure.what();
  }
  return "(no failure)";
}

}  // namespace qvn::testing
