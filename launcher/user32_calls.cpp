#include "launcher/user32_calls.h"

#include <commctrl.h>

#include "base/error.h"

namespace qvn {
namespace {

constexpr char kUnavailable[] = "Unpacking window unavailable";

UniqueModule LoadSystemLibrary(const wchar_t* name) {
  UniqueModule module(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module.valid()) throw Error(kUnavailable);
  return module;
}

template <typename Function>
void ResolveIfThere(const UniqueModule& module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
}

template <typename Function>
void Resolve(const UniqueModule& module, const char* name, Function& function) {
  ResolveIfThere(module, name, function);
  if (function == nullptr) throw Error(kUnavailable);
}

}  // namespace

User32Calls::User32Calls()
    : user32_(LoadSystemLibrary(L"user32.dll")),
      comctl32_(LoadSystemLibrary(L"comctl32.dll")),
      gdi32_(LoadSystemLibrary(L"gdi32.dll")) {
  Resolve(user32_, "RegisterClassExW", registerClass);
  Resolve(user32_, "UnregisterClassW", unregisterClass);
  Resolve(user32_, "CreateWindowExW", createWindow);
  Resolve(user32_, "AdjustWindowRectEx", adjustWindowRect);
  Resolve(user32_, "DestroyWindow", destroyWindow);
  Resolve(user32_, "DefWindowProcW", defaultWindowProcedure);
  Resolve(user32_, "ShowWindow", showWindow);
  Resolve(user32_, "SendMessageW", sendMessage);
  Resolve(user32_, "PeekMessageW", peekMessage);
  Resolve(user32_, "DispatchMessageW", dispatchMessage);
  Resolve(user32_, "MsgWaitForMultipleObjects", waitForObjectsOrMessages);
  Resolve(user32_, "SystemParametersInfoW", systemParametersInfo);
  Resolve(user32_, "LoadImageW", loadImage);
  Resolve(user32_, "LoadIconW", loadIcon);
  Resolve(user32_, "SetWindowPos", setWindowPosition);
  ResolveIfThere(user32_, "GetDpiForWindow", dpiForWindow);
  ResolveIfThere(user32_, "GetDpiForSystem", dpiForSystem);
  ResolveIfThere(user32_, "AdjustWindowRectExForDpi", adjustWindowRectForDpi);
  Resolve(gdi32_, "GetStockObject", getStockObject);
  Resolve(gdi32_, "GetObjectW", getObject);
  Resolve(gdi32_, "CreateFontIndirectW", createFont);
  Resolve(gdi32_, "DeleteObject", deleteObject);
  // Exported by name from version 6, which the manifest asks for.
  Resolve(comctl32_, "SetWindowSubclass", setWindowSubclass);
  Resolve(comctl32_, "RemoveWindowSubclass", removeWindowSubclass);
  Resolve(comctl32_, "DefSubclassProc", defaultSubclassProcedure);
  // Registers the progress bar's class, msctls_progress32.
  decltype(&InitCommonControlsEx) initCommonControls = nullptr;
  Resolve(comctl32_, "InitCommonControlsEx", initCommonControls);
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
  if (!initCommonControls(&classes)) throw Error(kUnavailable);
}

}  // namespace qvn
