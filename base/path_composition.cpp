#include "base/path_composition.h"

namespace qvn {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Index just past the end of element `count` starting at `from`: the
// server and share of a UNC path are each one element.
std::size_t SkipElements(std::wstring_view path, std::size_t from, int count) {
  std::size_t i = from;
  for (int n = 0; n < count; ++n) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    while (i < path.size() && !IsSeparator(path[i])) ++i;
  }
  return i;
}

// Length of the part of the path that is never removed.
std::size_t RootLength(std::wstring_view path) {
  std::size_t prefix = 0;
  if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
    prefix = 4;
    std::wstring_view rest = path.substr(4);
    if (rest.size() >= 4 && (rest[0] == L'U' || rest[0] == L'u') && (rest[1] == L'N' || rest[1] == L'n') &&
        (rest[2] == L'C' || rest[2] == L'c') && IsSeparator(rest[3])) {
      return SkipElements(path, prefix + 4, 2);
    }
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return SkipElements(path, 2, 2);
  }
  std::wstring_view rest = path.substr(prefix);
  if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == L':') {
    const bool hasRootSeparator = rest.size() >= 3 && IsSeparator(rest[2]);
    return prefix + (hasRootSeparator ? 3 : 2);
  }
  if (!rest.empty() && IsSeparator(rest[0])) return prefix + 1;
  return prefix;
}

}  // namespace

std::wstring ParentDirectory(std::wstring_view path) {
  const std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;   // trailing separators
  while (end > root && !IsSeparator(path[end - 1])) --end;  // the last element
  while (end > root && IsSeparator(path[end - 1])) --end;   // separators before it
  return std::wstring(path.substr(0, end));
}

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
  std::wstring joined(directory);
  if (joined.empty() || !IsSeparator(joined.back())) joined += L'\\';
  joined += name;
  return joined;
}

}  // namespace qvn
