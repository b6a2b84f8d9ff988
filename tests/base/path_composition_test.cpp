#include "base/path_composition.h"

#include <gtest/gtest.h>

#include <string>

namespace qvn {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(PathComposition, ParentDirectoryDropsTheLastElementButNeverTheRoot) {
  struct Case {
    std::wstring path;
    std::wstring parent;
  };
  const Case cases[] = {
      {L"C:\\Games\\Q\\launcher.exe", L"C:\\Games\\Q"},
      {L"C:\\launcher.exe", L"C:\\"},
      {L"C:/Games/launcher.exe", L"C:/Games"},
      {L"C:\\Games\\\\launcher.exe", L"C:\\Games"},
      {L"\\\\server\\share\\launcher.exe", L"\\\\server\\share"},
      {L"\\\\server\\share\\sub\\launcher.exe", L"\\\\server\\share\\sub"},
      {L"\\\\?\\C:\\launcher.exe", L"\\\\?\\C:\\"},
      {L"\\\\?\\C:\\Games\\launcher.exe", L"\\\\?\\C:\\Games"},
      {L"\\\\?\\UNC\\server\\share\\launcher.exe", L"\\\\?\\UNC\\server\\share"},
      {L"\\launcher.exe", L"\\"},
      {L"C:\\", L"C:\\"},
      {L"Z:\\work\\main\\build\\windows\\bin\\qvn_portable_launcher.exe", L"Z:\\work\\main\\build\\windows\\bin"},
  };
  for (const Case& c : cases) EXPECT_EQ(Narrow(ParentDirectory(c.path)), Narrow(c.parent)) << Narrow(c.path);
}

TEST(PathComposition, JoinInsertsOneBackslashUnlessTheDirectoryEndsInASeparator) {
  struct Case {
    std::wstring directory;
    std::wstring name;
    std::wstring joined;
  };
  const Case cases[] = {
      {L"C:\\Games\\Q", L"data", L"C:\\Games\\Q\\data"},
      {L"C:\\", L"data", L"C:\\data"},
      {L"C:/Games/", L"data", L"C:/Games/data"},
      {L"\\\\server\\share", L"data", L"\\\\server\\share\\data"},
      {L"C:\\data\\portable-runtime", L"assets/icons/x.svg", L"C:\\data\\portable-runtime\\assets/icons/x.svg"},
  };
  for (const Case& c : cases) EXPECT_EQ(Narrow(JoinPath(c.directory, c.name)), Narrow(c.joined));
}

}  // namespace
}  // namespace qvn
