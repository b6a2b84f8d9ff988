#include "launcher/unpacking_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "base/error.h"
#include "launcher/own_product_name.h"
#include "launcher/user32_calls.h"
#include "payload/payload_contract.h"

namespace qvn {
namespace {

// Client area and layout, in pixels at 96 DPI.
constexpr int kWidth = 360;
constexpr int kHeight = 104;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kTextLeft = kMargin + kIconSize + 12;
constexpr int kBarRange = 1000;
constexpr DWORD kRefreshMilliseconds = 50;

// The window and the class it was made from, destroyed in that order.
class OwnedWindow {
 public:
  OwnedWindow(const User32Calls& user32, HINSTANCE instance) : user32_(user32), instance_(instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // No behaviour of its own: the window takes no input and never closes
    // itself, so the default procedure serves.
    windowClass.lpfnWndProc = user32.defaultWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kUnpackingWindowClass;
    if (user32.registerClass(&windowClass) == 0) throw Error("Unpacking window unavailable");
  }
  OwnedWindow(const OwnedWindow&) = delete;
  OwnedWindow& operator=(const OwnedWindow&) = delete;
  ~OwnedWindow() {
    if (window_ != nullptr) user32_.destroyWindow(window_);
    user32_.unregisterClass(kUnpackingWindowClass, instance_);
  }

  void reset(HWND window) { window_ = window; }
  HWND get() const { return window_; }

 private:
  const User32Calls& user32_;
  HINSTANCE instance_;
  HWND window_ = nullptr;
};

HWND AddChild(const User32Calls& user32, HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
              RECT place) {
  HWND child =
      user32.createWindow(0, className, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                          place.right - place.left, place.bottom - place.top, parent, nullptr, nullptr, nullptr);
  if (child == nullptr) throw Error("Unpacking window unavailable");
  user32.sendMessage(child, WM_SETFONT, reinterpret_cast<WPARAM>(user32.getStockObject(DEFAULT_GUI_FONT)), FALSE);
  return child;
}

HICON LauncherIcon(const User32Calls& user32, HINSTANCE instance) {
  // Shared icons belong to the system and are never destroyed by hand.
  HANDLE icon = user32.loadImage(instance, MAKEINTRESOURCEW(kLauncherIconResourceId), IMAGE_ICON, kIconSize, kIconSize,
                                 LR_SHARED);
  return icon != nullptr ? static_cast<HICON>(icon) : user32.loadIcon(nullptr, IDI_APPLICATION);
}

// Centred in the work area, the screen less the taskbar.
POINT CentredOrigin(const User32Calls& user32, int width, int height) {
  RECT workArea = {0, 0, 0, 0};
  user32.systemParametersInfo(SPI_GETWORKAREA, 0, &workArea, 0);
  return {workArea.left + (workArea.right - workArea.left - width) / 2,
          workArea.top + (workArea.bottom - workArea.top - height) / 2};
}

int BarPosition(const WorkProgress& progress) {
  const std::uint64_t total = progress.total();
  if (total == 0) return 0;
  return static_cast<int>(std::min(progress.done(), total) * kBarRange / total);
}

}  // namespace

void ShowUnpackingWindow(HANDLE stop, const WorkProgress& progress) {
  const User32Calls user32;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const std::wstring productName = OwnProductName();
  OwnedWindow window(user32, instance);

  // A captioned popup without a system menu has no close button; disabled,
  // it takes no input; a tool window gets no taskbar button and never takes
  // the focus from whatever the player is doing.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_DISABLED;
  const DWORD extendedStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
  RECT frame = {0, 0, kWidth, kHeight};
  user32.adjustWindowRect(&frame, style, FALSE, extendedStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const POINT origin = CentredOrigin(user32, width, height);
  window.reset(user32.createWindow(extendedStyle, kUnpackingWindowClass, productName.c_str(), style, origin.x, origin.y,
                                   width, height, nullptr, nullptr, instance, nullptr));
  if (window.get() == nullptr) throw Error("Unpacking window unavailable");

  const HWND icon = AddChild(user32, window.get(), L"STATIC", nullptr, SS_ICON,
                             {kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize});
  user32.sendMessage(icon, STM_SETICON, reinterpret_cast<WPARAM>(LauncherIcon(user32, instance)), 0);
  AddChild(user32, window.get(), L"STATIC", productName.c_str(), SS_LEFT | SS_NOPREFIX,
           {kTextLeft, kMargin, kWidth - kMargin, kMargin + 16});
  AddChild(user32, window.get(), L"STATIC", L"Unpacking\u2026", SS_LEFT,
           {kTextLeft, kMargin + 18, kWidth - kMargin, kMargin + 34});
  const HWND bar = AddChild(user32, window.get(), PROGRESS_CLASSW, nullptr, 0,
                            {kMargin, kHeight - kMargin - 18, kWidth - kMargin, kHeight - kMargin});
  user32.sendMessage(bar, PBM_SETRANGE32, 0, kBarRange);
  user32.showWindow(window.get(), SW_SHOWNOACTIVATE);

  // The bar never moves back: the first estimate of the work can be too
  // small, and a bar that jumps back reads as going wrong.
  int shown = 0;
  while (user32.waitForObjectsOrMessages(1, &stop, FALSE, kRefreshMilliseconds, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (user32.peekMessage(&message, nullptr, 0, 0, PM_REMOVE)) user32.dispatchMessage(&message);
    const int position = BarPosition(progress);
    if (position > shown) {
      shown = position;
      user32.sendMessage(bar, PBM_SETPOS, static_cast<WPARAM>(shown), 0);
    }
  }
}

}  // namespace qvn
