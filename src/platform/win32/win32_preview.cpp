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
  // Keep the veil out of our own (and every other) screen copy where possible.
  // Looked up at run time: older systems lack the call or the flag, and then
  // simply refuse it.
  using SetAffinity = BOOL(WINAPI*)(HWND, DWORD);
  if (const HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
    if (const auto set_affinity = reinterpret_cast<SetAffinity>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowDisplayAffinity")))) {
      set_affinity(window_, WDA_EXCLUDEFROMCAPTURE);
    }
  }
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
  SetWindowPos(window_, HWND_TOPMOST, rect->left, rect->top, rect->width, rect->height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(window_, nullptr, TRUE);
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
