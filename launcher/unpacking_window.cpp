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

// Client area and layout, in pixels at 96 DPI; scaled to the display's.
constexpr int kWidth = 360;
constexpr int kHeight = 104;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kTextLeft = kMargin + kIconSize + 12;
constexpr int kBarRange = 1000;
constexpr DWORD kRefreshMilliseconds = 50;
constexpr UINT kBaseDpi = USER_DEFAULT_SCREEN_DPI;  // 96

// No close button (a captioned popup without a system menu), no input
// (disabled), no taskbar button and never the focus (a tool window that
// does not activate): it must not get in the way of whatever the player is
// doing.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_DISABLED;
constexpr DWORD kExtendedStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;

constexpr char kUnavailable[] = "Unpacking window unavailable";

int Scaled(int pixelsAt96, UINT dpi) { return MulDiv(pixelsAt96, static_cast<int>(dpi), static_cast<int>(kBaseDpi)); }

RECT ScaledRect(int left, int top, int right, int bottom, UINT dpi) {
  return {Scaled(left, dpi), Scaled(top, dpi), Scaled(right, dpi), Scaled(bottom, dpi)};
}

// The window and the class it was made from, destroyed in that order.
class OwnedWindow {
 public:
  OwnedWindow(const User32Calls& user32, HINSTANCE instance) : user32_(user32), instance_(instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    // The window takes no input and never closes itself: the default
    // procedure serves, with a subclass for DPI changes only.
    windowClass.lpfnWndProc = user32.defaultWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kUnpackingWindowClass;
    if (user32.registerClass(&windowClass) == 0) throw Error(kUnavailable);
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

// A font the window's texts use, deleted once they are gone.
class OwnedFont {
 public:
  explicit OwnedFont(const User32Calls& user32) : user32_(user32) {}
  OwnedFont(const OwnedFont&) = delete;
  OwnedFont& operator=(const OwnedFont&) = delete;
  ~OwnedFont() { reset(nullptr); }

  void reset(HFONT font) {
    if (font_ != nullptr) user32_.deleteObject(font_);
    font_ = font;
  }
  HFONT get() const { return font_; }

 private:
  const User32Calls& user32_;
  HFONT font_ = nullptr;
};

// The dialog font at `dpi`: the stock one is sized for the system's DPI.
HFONT DialogFontAt(const User32Calls& user32, UINT dpi, UINT systemDpi) {
  LOGFONTW font = {};
  if (user32.getObject(user32.getStockObject(DEFAULT_GUI_FONT), sizeof font, &font) != sizeof font) return nullptr;
  font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
  return user32.createFont(&font);
}

HICON LauncherIcon(const User32Calls& user32, HINSTANCE instance, int size) {
  // Shared icons belong to the system and are never destroyed by hand.
  HANDLE icon =
      user32.loadImage(instance, MAKEINTRESOURCEW(kLauncherIconResourceId), IMAGE_ICON, size, size, LR_SHARED);
  return icon != nullptr ? static_cast<HICON>(icon) : user32.loadIcon(nullptr, IDI_APPLICATION);
}

// The frame around a client area of the layout's size at `dpi`.
SIZE FrameSize(const User32Calls& user32, UINT dpi) {
  RECT frame = {0, 0, Scaled(kWidth, dpi), Scaled(kHeight, dpi)};
  if (user32.adjustWindowRectForDpi != nullptr) {
    user32.adjustWindowRectForDpi(&frame, kStyle, FALSE, kExtendedStyle, dpi);
  } else {
    user32.adjustWindowRect(&frame, kStyle, FALSE, kExtendedStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// Centred in the work area, the screen less the taskbar.
RECT CentredPlace(const User32Calls& user32, SIZE size) {
  RECT workArea = {0, 0, 0, 0};
  user32.systemParametersInfo(SPI_GETWORKAREA, 0, &workArea, 0);
  const LONG left = workArea.left + (workArea.right - workArea.left - size.cx) / 2;
  const LONG top = workArea.top + (workArea.bottom - workArea.top - size.cy) / 2;
  return {left, top, left + size.cx, top + size.cy};
}

int BarPosition(const WorkProgress& progress) {
  const std::uint64_t total = progress.total();
  if (total == 0) return 0;
  return static_cast<int>(std::min(progress.done(), total) * kBarRange / total);
}

// The window's contents, laid out for one DPI at a time: the process is
// aware of each monitor's DPI (see the manifest), so Windows scales nothing
// for it, and a window moved to another display, or a display whose scale
// the player changes, gets WM_DPICHANGED.
class UnpackingWindow {
 public:
  UnpackingWindow(const User32Calls& user32, HINSTANCE instance, const std::wstring& productName)
      : user32_(user32), instance_(instance), font_(user32), window_(user32, instance) {
    RECT place = CentredPlace(user32, FrameSize(user32, systemDpi_));
    window_.reset(user32.createWindow(kExtendedStyle, kUnpackingWindowClass, productName.c_str(), kStyle, place.left,
                                      place.top, place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                                      instance, nullptr));
    if (window_.get() == nullptr) throw Error(kUnavailable);
    icon_ = AddChild(L"STATIC", nullptr, SS_ICON);
    name_ = AddChild(L"STATIC", productName.c_str(), SS_LEFT | SS_NOPREFIX);
    status_ = AddChild(L"STATIC", L"Unpacking\u2026", SS_LEFT);
    bar_ = AddChild(PROGRESS_CLASSW, nullptr, 0);
    user32.sendMessage(bar_, PBM_SETRANGE32, 0, kBarRange);
    if (!user32.setWindowSubclass(window_.get(), &FollowDpi, 0, reinterpret_cast<DWORD_PTR>(this))) {
      throw Error(kUnavailable);
    }
    // Made at the system's DPI, it may have landed on a display of another.
    UINT dpi = user32.dpiForWindow != nullptr ? user32.dpiForWindow(window_.get()) : systemDpi_;
    if (dpi == 0) dpi = systemDpi_;
    if (dpi != systemDpi_) {
      place = CentredPlace(user32, FrameSize(user32, dpi));
      Place(window_.get(), place);
    }
    LayOut(dpi);
  }
  UnpackingWindow(const UnpackingWindow&) = delete;
  UnpackingWindow& operator=(const UnpackingWindow&) = delete;
  ~UnpackingWindow() { user32_.removeWindowSubclass(window_.get(), &FollowDpi, 0); }

  void Show() const { user32_.showWindow(window_.get(), SW_SHOWNOACTIVATE); }
  void SetBar(int position) const { user32_.sendMessage(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0); }

 private:
  HWND AddChild(const wchar_t* className, const wchar_t* text, DWORD style) {
    HWND child = user32_.createWindow(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_.get(),
                                      nullptr, nullptr, nullptr);
    if (child == nullptr) throw Error(kUnavailable);
    return child;
  }

  void Place(HWND window, RECT place) const {
    user32_.setWindowPosition(window, nullptr, place.left, place.top, place.right - place.left,
                              place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Children, font and icon for `dpi`.
  void LayOut(UINT dpi) {
    HFONT font = DialogFontAt(user32_, dpi, systemDpi_);
    if (font == nullptr) font = static_cast<HFONT>(user32_.getStockObject(DEFAULT_GUI_FONT));
    for (HWND text : {name_, status_}) user32_.sendMessage(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    font_.reset(font != user32_.getStockObject(DEFAULT_GUI_FONT) ? font : nullptr);
    user32_.sendMessage(icon_, STM_SETICON,
                        reinterpret_cast<WPARAM>(LauncherIcon(user32_, instance_, Scaled(kIconSize, dpi))), 0);
    Place(icon_, ScaledRect(kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize, dpi));
    Place(name_, ScaledRect(kTextLeft, kMargin, kWidth - kMargin, kMargin + 16, dpi));
    Place(status_, ScaledRect(kTextLeft, kMargin + 18, kWidth - kMargin, kMargin + 34, dpi));
    Place(bar_, ScaledRect(kMargin, kHeight - kMargin - 18, kWidth - kMargin, kHeight - kMargin, dpi));
  }

  static LRESULT CALLBACK FollowDpi(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    UnpackingWindow& shown = *reinterpret_cast<UnpackingWindow*>(self);
    if (message != WM_DPICHANGED) return shown.user32_.defaultSubclassProcedure(window, message, wParam, lParam);
    // Placed where Windows suggests, which keeps it on the display that
    // caused the change.
    shown.LayOut(HIWORD(wParam));
    shown.Place(window, *reinterpret_cast<const RECT*>(lParam));
    return 0;
  }

  const User32Calls& user32_;
  HINSTANCE instance_;
  UINT systemDpi_ = user32_.dpiForSystem != nullptr ? user32_.dpiForSystem() : kBaseDpi;
  OwnedFont font_;  // before the window: its texts use the font to the end
  OwnedWindow window_;
  HWND icon_ = nullptr;
  HWND name_ = nullptr;
  HWND status_ = nullptr;
  HWND bar_ = nullptr;
};

}  // namespace

void ShowUnpackingWindow(HANDLE stop, const WorkProgress& progress, WindowShowing& showing) {
  const User32Calls user32;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const UnpackingWindow window(user32, instance, OwnProductName());
  if (!showing.Begin()) return;  // the run went on while this got ready
  window.Show();

  // The bar never moves back: the first estimate of the work can be too
  // small, and a bar that jumps back reads as going wrong.
  int shown = 0;
  while (user32.waitForObjectsOrMessages(1, &stop, FALSE, kRefreshMilliseconds, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (user32.peekMessage(&message, nullptr, 0, 0, PM_REMOVE)) user32.dispatchMessage(&message);
    const int position = BarPosition(progress);
    if (position > shown) {
      shown = position;
      window.SetBar(shown);
    }
  }
}

}  // namespace qvn
