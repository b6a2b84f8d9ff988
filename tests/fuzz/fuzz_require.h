#pragma once

#include <cstdlib>

namespace qvn::fuzz {

// A property every fuzzer checks beyond "no crash": a failed one aborts, so
// that libFuzzer keeps the input that led there.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace qvn::fuzz
