#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qvn {

// The project's one failure type. It derives from the standard library's
// failure base, so a top-level handler catches it together with the
// library's own failures (allocation, length limits, conversions).
//
// A failure of a Windows call keeps that call's error code, read right
// after the call: a handler records it from here, since the thread's last
// error may have changed on the way (raising and catching alone reset it
// under Wine). Base code stays portable, so the code is a plain 32-bit value.
class Error : public std::runtime_error {
 public:
  // A failure with no Windows error code: windowsErrorCode() is 0.
  explicit Error(std::string_view text);

  // The code is kept and also rendered into the text:
  // "<text> (Windows error <unsigned decimal>)".
  Error(std::string_view text, std::uint32_t windowsErrorCode);

  // The code is kept, the text left as it is: for a refusal whose message
  // names no code, though its record still carries the thread's last error.
  static Error WithUnstatedCode(std::string_view text, std::uint32_t windowsErrorCode);

  std::uint32_t windowsErrorCode() const noexcept { return windowsErrorCode_; }

 private:
  struct UnstatedCode {};
  Error(std::string_view text, std::uint32_t windowsErrorCode, UnstatedCode);

  std::uint32_t windowsErrorCode_ = 0;
};

std::string WithWindowsErrorCode(std::string_view text, std::uint32_t windowsErrorCode);

}  // namespace qvn
