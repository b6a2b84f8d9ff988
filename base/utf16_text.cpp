#include "base/utf16_text.h"

namespace qvn {

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string result;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) throw TextEncodingError("text is not valid UTF-8");
    char32_t point = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next >> 6) != 0x2) throw TextEncodingError("text is not valid UTF-8");
      point = (point << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      throw TextEncodingError("text is not valid UTF-8");
    }
    if (point >= 0x10000) {
      result += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      result += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      result += static_cast<char16_t>(point);
    }
    i += length;
  }
  return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t point = text[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      throw TextEncodingError("text is not valid UTF-16");
    }
    if (point < 0x80) {
      result += static_cast<char>(point);
    } else if (point < 0x800) {
      result += static_cast<char>(0xC0 | (point >> 6));
      result += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      result += static_cast<char>(0xE0 | (point >> 12));
      result += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (point >> 18));
      result += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return result;
}

}  // namespace qvn
