#include "supervision/quote_argument.h"

#include <cstddef>

namespace qvn {

std::wstring QuoteArgument(std::wstring_view text) {
  std::wstring quoted;
  quoted.reserve(text.size() + 2);
  quoted += L'"';
  // Backslashes mean something only in front of a quotation mark (and in
  // front of the closing quotation mark we add), so they are held back until
  // the next character shows whether they need doubling.
  std::size_t pendingBackslashes = 0;
  for (const wchar_t character : text) {
    if (character == L'\\') {
      ++pendingBackslashes;
      continue;
    }
    if (character == L'"') pendingBackslashes = 2 * pendingBackslashes + 1;
    quoted.append(pendingBackslashes, L'\\');
    quoted += character;
    pendingBackslashes = 0;
  }
  quoted.append(2 * pendingBackslashes, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace qvn
