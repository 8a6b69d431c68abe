#pragma once
// The main window in raw Win32: the frame, the controls of the form table
// (created with CreateWindowExW in table order, which is also the Tab order),
// the integer-only width and height boxes (subclassed edit controls), the
// preview timer, the hot keys, and the message loop with Esc, Enter, Tab and
// the mouse-wheel rule. Every event goes to the AppController; this class
// only carries out what the controller asks through its ports.
//
// Supports: per-monitor DPI (positions scaled from 96 dpi), Unicode texts.
// Does not: keep settings, show an icon of its own.

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "app/app_controller.h"
#include "form/main_window_layout.h"
#include "ports/ports.h"
#include "platform/win32/win32_preview.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {

inline constexpr wchar_t kMainWindowClass[] = L"OrvamyGifMain";
// Posted to the main window: queued recorder updates are waiting; the preview
// frame went away by other means than unticking its box.
// The identifier RegisterHotKey gets for the first key (F7); F8 gets the next.
inline constexpr std::int32_t kFirstHotkeyId = 33001;
inline constexpr UINT kViewUpdateMessage = WM_APP + 1;
inline constexpr UINT kPreviewClosedMessage = WM_APP + 2;
// Posted to itself once the window is shown: start-up news for the user.
inline constexpr UINT kWindowShownMessage = WM_APP + 3;

class MainWindow final : public MainWindowView,
                         public TimerPort,
                         public HotkeyRegistrar,
                         public RecorderView {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls, starts the controller, shows the
  // window and runs the message loop until the window is closed. Returns the
  // exit code. Called on the UI thread only.
  int Run(AppController& controller, Win32PreviewWindow& preview, int show_command);

  // MainWindowView, TimerPort, HotkeyRegistrar: UI thread only.
  void SetWidthText(const std::string& text) override;
  void SetHeightText(const std::string& text) override;
  void SetAlwaysOnTop(bool on_top) override;
  void SetPreviewTicked(bool ticked) override;
  void SetPeriod(int milliseconds) override;
  std::int32_t RegisterGlobalHotkey(Modifiers modifiers, Key key) override;

  // RecorderView: thread-safe; queued and posted to the UI thread, never sent.
  void SetCaption(std::string text) override;
  void SetRecordEnabled(bool enabled) override;

 private:
  struct ViewUpdate {
    std::optional<std::string> caption;
    std::optional<bool> record_enabled;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK IntegerBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR id, DWORD_PTR self);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool Create(int show_command);
  bool CreateControls();
  void ApplyFont();
  void LayoutControls();
  bool PreTranslate(const MSG& message);
  bool PointerOverOwnArea(LPARAM screen_point) const;
  void OnCommand(int id, int code);
  void Post(ViewUpdate update);
  void ApplyViewUpdates();
  HWND Control(ControlId id) const;
  int Scale(int pixels) const;
  bool IsOurs(HWND window) const;

  HINSTANCE instance_;
  AppController* controller_ = nullptr;
  Win32PreviewWindow* preview_ = nullptr;
  std::atomic<HWND> window_{nullptr};
  HWND controls_[kMainWindowControls.size()] = {};
  UINT dpi_ = 96;
  std::int32_t next_hotkey_id_ = kFirstHotkeyId;
  bool closing_ = false;
  bool alt_wheel_used_ = false;  // an Alt+wheel turn must not open the system menu

  std::mutex updates_mutex_;  // guards updates_
  std::deque<ViewUpdate> updates_;

  // The 1 ms timer resolution, held from the start of a recording (the Record
  // button disabled) to its end.
  std::mutex timer_resolution_mutex_;  // guards timer_resolution_
  std::optional<TimerResolution> timer_resolution_;

  // The controls' font at the window's DPI; null while the stock font serves.
  GdiObject scaled_font_;
  std::wstring create_failure_;  // what Create() could not make, for the user
};

}  // namespace orvamy::win32
