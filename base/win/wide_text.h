#pragma once

#include <string>
#include <string_view>

namespace qvn {

// Strict UTF-16 to UTF-8: an unpaired surrogate raises std::system_error with
// the system's text for the conversion failure.
std::string WideToUtf8(std::wstring_view text);

}  // namespace qvn
