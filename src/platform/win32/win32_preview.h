#pragma once
// The preview frame: a borderless black layered window, topmost, a tool window
// (not in the taskbar), always click-through (WS_EX_TRANSPARENT) and never
// activated, so the keyboard focus stays where it was. Where the system can
// exclude a window from screen copies (Windows 10 2004 and later, and only if
// it accepts the request) the frame is a veil over the capture rectangle.
// Elsewhere it is a band just outside the rectangle (the inside cut out of the
// window's region), as on X11: since Windows 8 a plain screen copy includes
// layered windows, and before 2004 the exclusion turns the window into a
// black box in every copy, so a veil would darken or blacken every frame.

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
  // The band's width in pixels outside the rectangle, where the frame cannot
  // be kept out of screen copies.
  static constexpr int kBand = 3;
  // Whether the open frame is kept out of screen copies (and so covers the rectangle).
  bool excluded_from_capture() const { return excluded_from_capture_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Gives the window the band's region around a hole of this size.
  void CutOutHole(int width, int height);

  HINSTANCE instance_;
  HWND notify_ = nullptr;
  UINT closed_message_;
  HWND window_ = nullptr;
  bool closing_ = false;
  bool excluded_from_capture_ = false;
  SIZE hole_{0, 0};  // the size cut out of the band's region so far
};

// The class name, for tests that look the window up.
inline constexpr wchar_t kPreviewWindowClass[] = L"OrvamyGifPreview";

}  // namespace orvamy::win32
