#pragma once

#include <string>

#include "base/error.h"

namespace qvn::testing {

// The text of the Error an action raises, or "(no failure)".
template <typename Action>
std::string FailureOf(const Action& action) {
  try {
    action();
  } catch (const Error& failure) {
    return failure.what();
  }
  return "(no failure)";
}

}  // namespace qvn::testing
