#pragma once
// The preview frame: a borderless black layered window, topmost, a tool window
// (not in the taskbar), always click-through (WS_EX_TRANSPARENT) and never
// activated, so the keyboard focus stays where it was. It is excluded from
// screen copies where the system can do that (Windows 10 2004 and later):
// since Windows 8 a plain screen copy includes layered windows, and the veil
// would otherwise darken every recorded frame.

#include "ports/ports.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {

// Called on the UI thread only.
class Win32PreviewWindow final : public PreviewWindowPort {
 public:
  // The notify window (SetNotifyWindow) receives `closed_message` when the
  // frame goes away by other means than Close() (WM_CLOSE from another
  // program, for instance).
  Win32PreviewWindow(HINSTANCE instance, UINT closed_message);
  void SetNotifyWindow(HWND notify) { notify_ = notify; }
  ~Win32PreviewWindow() override;
  Win32PreviewWindow(const Win32PreviewWindow&) = delete;
  Win32PreviewWindow& operator=(const Win32PreviewWindow&) = delete;

  void Open() override;
  void Close() override;
  void SetOpacity(int alpha) override;
  void Place(std::optional<ScreenRect> capture_rect) override;

  HWND handle() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE instance_;
  HWND notify_ = nullptr;
  UINT closed_message_;
  HWND window_ = nullptr;
  bool closing_ = false;
};

// The class name, for tests that look the window up.
inline constexpr wchar_t kPreviewWindowClass[] = L"OrvamyGifPreview";

}  // namespace orvamy::win32
