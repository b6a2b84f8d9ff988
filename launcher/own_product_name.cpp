#include "launcher/own_product_name.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/win/module_path.h"
#include "base/win/unique_handle.h"

namespace qvn {
namespace {

template <typename Function>
Function Find(const UniqueModule& module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
}

// The value under the first language and code page the information lists.
std::wstring ReadProductName(const UniqueModule& version) {
  const auto infoSize = Find<decltype(&GetFileVersionInfoSizeW)>(version, "GetFileVersionInfoSizeW");
  const auto info = Find<decltype(&GetFileVersionInfoW)>(version, "GetFileVersionInfoW");
  const auto query = Find<decltype(&VerQueryValueW)>(version, "VerQueryValueW");
  if (infoSize == nullptr || info == nullptr || query == nullptr) return {};
  const std::wstring path = GetLauncherPath();
  DWORD ignored = 0;
  std::vector<std::uint8_t> block(infoSize(path.c_str(), &ignored));
  if (block.empty() || !info(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) return {};
  const WORD* translation = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(const_cast<WORD**>(&translation)),
             &length) ||
      length < 2 * sizeof(WORD)) {
    return {};
  }
  wchar_t key[64] = {};
  std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", translation[0], translation[1]);
  const wchar_t* name = nullptr;
  if (!query(block.data(), key, reinterpret_cast<void**>(const_cast<wchar_t**>(&name)), &length) || length == 0) {
    return {};
  }
  return std::wstring(name);
}

}  // namespace

std::wstring OwnProductName() {
  const UniqueModule version(LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  std::wstring name = version.valid() ? ReadProductName(version) : std::wstring();
  return name.empty() ? L"Quorvane" : name;
}

}  // namespace qvn
