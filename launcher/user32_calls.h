#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/win/unique_handle.h"

namespace qvn {

// The few user32, comctl32 and gdi32 functions the unpacking window uses,
// looked up at run time: importing them would make every start pay for
// user32's initialisation, also the fast ones that never show a window.
// Raises Error when a library or function is missing; the DPI functions,
// which Windows before 10 lacks, are null there and the window is then laid
// out at 96 DPI.
class User32Calls {
 public:
  User32Calls();

  decltype(&RegisterClassExW) registerClass = nullptr;
  decltype(&UnregisterClassW) unregisterClass = nullptr;
  decltype(&CreateWindowExW) createWindow = nullptr;
  decltype(&AdjustWindowRectEx) adjustWindowRect = nullptr;
  decltype(&DestroyWindow) destroyWindow = nullptr;
  decltype(&DefWindowProcW) defaultWindowProcedure = nullptr;
  decltype(&ShowWindow) showWindow = nullptr;
  decltype(&SendMessageW) sendMessage = nullptr;
  decltype(&PeekMessageW) peekMessage = nullptr;
  decltype(&DispatchMessageW) dispatchMessage = nullptr;
  decltype(&MsgWaitForMultipleObjects) waitForObjectsOrMessages = nullptr;
  decltype(&SystemParametersInfoW) systemParametersInfo = nullptr;
  decltype(&LoadImageW) loadImage = nullptr;
  decltype(&LoadIconW) loadIcon = nullptr;
  decltype(&SetWindowPos) setWindowPosition = nullptr;
  decltype(&GetDpiForWindow) dpiForWindow = nullptr;                     // may be null
  decltype(&GetDpiForSystem) dpiForSystem = nullptr;                     // may be null
  decltype(&AdjustWindowRectExForDpi) adjustWindowRectForDpi = nullptr;  // may be null
  decltype(&GetStockObject) getStockObject = nullptr;
  decltype(&GetObjectW) getObject = nullptr;
  decltype(&CreateFontIndirectW) createFont = nullptr;
  decltype(&DeleteObject) deleteObject = nullptr;
  decltype(&SetWindowSubclass) setWindowSubclass = nullptr;
  decltype(&RemoveWindowSubclass) removeWindowSubclass = nullptr;
  decltype(&DefSubclassProc) defaultSubclassProcedure = nullptr;

 private:
  UniqueModule user32_;
  UniqueModule comctl32_;
  UniqueModule gdi32_;
};

}  // namespace qvn
