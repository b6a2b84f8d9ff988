#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvn::testing {

// A fresh folder under the user's temporary folder, removed with everything
// in it (read-only files included) when the object goes. Kept short: Wine
// cannot start programs from paths much past 260 characters.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const;

 private:
  std::wstring path_;
};

// Removes a tree without regard to attributes; for test clean-up only.
void RemoveTreeForcibly(const std::wstring& path);

// Linux paths from the build (compile definitions) as Wine sees them.
std::wstring HostPathToWindows(const char* hostPath);

// The Unix path of a Windows path under Wine (for Unix tools run from tests).
std::wstring UnixPathOf(const std::wstring& windowsPath);

void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::wstring& path, const std::string& text);
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);
std::string ReadFileText(const std::wstring& path);
bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// Every file below a folder as "relative/name" -> contents ("/" separators),
// and every directory as "relative/name/" -> empty.
std::vector<std::pair<std::string, std::string>> ListTree(const std::wstring& root);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

}  // namespace qvn::testing
