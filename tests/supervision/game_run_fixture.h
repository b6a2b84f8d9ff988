#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/scoped_variable.h"

namespace qvn::testing {

// A short scratch folder under the temporary directory, laid out as the
// launcher lays out `data`: data\portable-runtime\temp, with the test game
// copied in as Quorvane.exe and its fault DLL beside it. Removed with all it
// holds when the fixture ends. Short, because Wine cannot start programs from
// paths much past 260 characters.
class GameRunFixture {
 public:
  GameRunFixture();
  ~GameRunFixture();
  GameRunFixture(const GameRunFixture&) = delete;
  GameRunFixture& operator=(const GameRunFixture&) = delete;

  const std::wstring& root() const { return root_; }
  const std::wstring& dataDirectory() const { return dataDirectory_; }
  const std::wstring& runtimeDirectory() const { return runtimeDirectory_; }
  std::wstring gameLogPath() const { return dataDirectory_ + L"\\game.log"; }
  std::wstring exePath() const { return runtimeDirectory_ + L"\\Quorvane.exe"; }
  std::wstring dllPath() const { return runtimeDirectory_ + L"\\qvn_test_fault_dll.dll"; }

  // Runs RunGame in this process with the game's commands (see the test
  // game); the environment variables it or the test changes are put back
  // afterwards.
  std::uint32_t Run(const std::vector<std::wstring>& commands);

 private:
  std::wstring root_;
  std::wstring dataDirectory_;
  std::wstring runtimeDirectory_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

std::vector<std::string> SplitLines(const std::string& text);
std::string ToUtf8(const std::wstring& text);
// Each UTF-16 unit as 4 upper-case hex digits, the test game's argument form.
std::string HexUnits(const std::wstring& text);

}  // namespace qvn::testing
