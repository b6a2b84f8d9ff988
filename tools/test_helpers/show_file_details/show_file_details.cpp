// Prints the version details of an executable as Windows reads them
// (GetFileVersionInfoW, VerQueryValueW): what Explorer shows on the file's
// Details tab. Exit status 1 when the file has no version information.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? static_cast<std::size_t>(size - 1) : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qvn_show_file_details FILE\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  std::vector<unsigned char> info(size);
  if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
    std::fprintf(stderr, "no version information (Windows error %lu)\n", GetLastError());
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && length >= sizeof *fixed) {
    std::printf("%-17s %u.%u.%u.%u\n", "(fixed version)", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  }
  for (const wchar_t* name : {L"FileDescription", L"FileVersion", L"ProductName", L"ProductVersion", L"CompanyName",
                              L"LegalCopyright", L"OriginalFilename", L"InternalName"}) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    const bool found = VerQueryValueW(info.data(), query.c_str(), &value, &length);
    std::printf("%-17s %s\n", ToUtf8(name).c_str(),
                found ? ToUtf8(static_cast<const wchar_t*>(value)).c_str() : "(none)");
  }
  return 0;
}
