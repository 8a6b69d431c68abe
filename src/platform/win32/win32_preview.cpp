#include "platform/win32/win32_preview.h"

namespace orvamy::win32 {
namespace {

constexpr int kLoadedWidth = 25;
constexpr int kLoadedHeight = 24;

void RegisterPreviewClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kPreviewWindowClass;
  RegisterClassExW(&wc);  // a second registration fails harmlessly
}

// Windows 10 version 2004 (build 19041) is the first whose WDA_EXCLUDEFROMCAPTURE
// leaves the window out of copies; before it the flag acts as WDA_MONITOR and
// the window shows as a black box in every copy. RtlGetVersion reports the
// real build whatever the manifest says.
bool SystemExcludesFromCapture() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return false;
  const auto get_version = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!get_version || get_version(&version) != 0) return false;
  if (version.dwMajorVersion != 10) return version.dwMajorVersion > 10;
  return version.dwBuildNumber >= 19041;
}

// Asks for the window to be left out of screen copies; true only when the
// system both supports and accepted it. Looked up at run time: older systems
// lack the call.
bool ExcludeFromCapture(HWND window) {
  if (!SystemExcludesFromCapture()) return false;
  using SetAffinity = BOOL(WINAPI*)(HWND, DWORD);
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return false;
  const auto set_affinity = reinterpret_cast<SetAffinity>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowDisplayAffinity")));
  return set_affinity && set_affinity(window, WDA_EXCLUDEFROMCAPTURE);
}

}  // namespace

Win32PreviewWindow::Win32PreviewWindow(HINSTANCE instance, UINT closed_message)
    : instance_(instance), closed_message_(closed_message) {
  RegisterPreviewClass(instance_, WindowProc);
}

Win32PreviewWindow::~Win32PreviewWindow() { Close(); }

void Win32PreviewWindow::Open() {
  if (window_) return;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kLoadedWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kLoadedHeight) / 2;
  // Layered and click-through from the start; shown by the first Place().
  window_ = CreateWindowExW(
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
      kPreviewWindowClass, L"", WS_POPUP, left, top, kLoadedWidth, kLoadedHeight, nullptr,
      nullptr, instance_, this);
  if (!window_) return;
  SetLayeredWindowAttributes(window_, 0, 255, LWA_ALPHA);
  excluded_from_capture_ = ExcludeFromCapture(window_);
  hole_ = SIZE{0, 0};
}

void Win32PreviewWindow::Close() {
  if (!window_) return;
  closing_ = true;
  DestroyWindow(window_);
  closing_ = false;
  window_ = nullptr;
}

void Win32PreviewWindow::SetOpacity(int alpha) {
  if (!window_) return;
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  SetWindowLongPtrW(window_, GWL_EXSTYLE, style | WS_EX_LAYERED | WS_EX_TRANSPARENT);
  const int clamped = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
  SetLayeredWindowAttributes(window_, 0, static_cast<BYTE>(clamped), LWA_ALPHA);
}

void Win32PreviewWindow::Place(std::optional<ScreenRect> rect) {
  if (!window_) return;
  if (!rect) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  if (excluded_from_capture_) {
    SetWindowPos(window_, HWND_TOPMOST, rect->left, rect->top, rect->width, rect->height,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else {
    CutOutHole(rect->width, rect->height);
    SetWindowPos(window_, HWND_TOPMOST, rect->left - kBand, rect->top - kBand,
                 rect->width + 2 * kBand, rect->height + 2 * kBand,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  InvalidateRect(window_, nullptr, TRUE);
}

void Win32PreviewWindow::CutOutHole(int width, int height) {
  if (hole_.cx == width && hole_.cy == height) return;
  GdiObject band(CreateRectRgn(0, 0, width + 2 * kBand, height + 2 * kBand));
  const GdiObject hole(CreateRectRgn(kBand, kBand, kBand + width, kBand + height));
  if (!band || !hole) return;
  const auto band_region = static_cast<HRGN>(band.get());
  if (CombineRgn(band_region, band_region, static_cast<HRGN>(hole.get()), RGN_DIFF) == ERROR) {
    return;
  }
  // The system owns the region once it accepts it.
  if (SetWindowRgn(window_, band_region, TRUE)) {
    band.Release();
    hole_ = SIZE{width, height};
  }
}

LRESULT CALLBACK Win32PreviewWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // belt and braces beside WS_EX_TRANSPARENT
    case WM_DESTROY:
      if (self && self->window_ == window && !self->closing_) {
        // Gone by other means: tell the main window, which unticks the box.
        self->window_ = nullptr;
        PostMessageW(self->notify_, self->closed_message_, 0, 0);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace orvamy::win32
