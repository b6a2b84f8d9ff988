#pragma once

#include <string>
#include <string_view>

namespace qvn {

// Quotes one argument so that the standard Windows command-line splitting
// (CommandLineToArgvW, the C runtimes) gives back exactly `text`. Every
// argument is quoted, also an empty one or one without blanks.
std::wstring QuoteArgument(std::wstring_view text);

}  // namespace qvn
