#pragma once

#include <string>
#include <string_view>

#include "base/error.h"

namespace qvn {

// Raised for text that is not valid UTF-8 (or, back, UTF-16).
class TextEncodingError : public Error {
 public:
  using Error::Error;
};

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qvn
