#pragma once

#include <string>
#include <string_view>

namespace qvn {

// Strict UTF-16 to UTF-8: an unpaired surrogate raises std::system_error with
// the system's text for the conversion failure.
std::string WideToUtf8(std::wstring_view text);

// UTF-8 to UTF-16 for display: malformed UTF-8 becomes a replacement
// character rather than hiding the whole text. Never raises for bad input.
std::wstring Utf8ToWideForDisplay(std::string_view text);

}  // namespace qvn
