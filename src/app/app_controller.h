#pragma once
// The main window's logic, written against ports: back ends build the widgets,
// forward every event here and carry out what the ports ask. Owns everything
// the program keeps for its lifetime: the controls' mirror, the pointer
// position, the frame canvas, the recorder, the preview and the hot keys.
// Every method is called on the UI thread only.

#include <optional>
#include <string>
#include <string_view>

#include "app/controls_model.h"
#include "app/integer_box.h"
#include "app/remote_command.h"
#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "hotkeys/hotkey_dispatcher.h"
#include "ports/ports.h"
#include "ports/recording_control.h"
#include "preview/preview_controller.h"
#include "record/recorder.h"

namespace orvamy {

// Told once at start-up when the system refused F7 or F8.
inline constexpr std::string_view kHotkeysTakenText =
    "热键 F7/F8 已被其他程序占用，按下它们不会录制或停止；窗口上的“录制”和“停止”按钮照常可用。";

// Told once at start-up where the desktop lets no program take global keys
// (Wayland without a shortcuts portal): how to bind them instead.
inline constexpr std::string_view kHotkeysByCommandText =
    "这个桌面不允许程序自己注册全局热键 F7/F8。请在桌面的键盘快捷键设置里把 F7 绑定到命令"
    "“orvamy-gif --start”，把 F8 绑定到“orvamy-gif --stop”；窗口上的“录制”和“停止”按钮照常可用。";

// Told when the desktop ends the screen sharing under a running program
// (Wayland: the user stopped it from the desktop's own controls), and again
// at every later start.
inline constexpr std::string_view kScreenSharingEndedText =
    "桌面结束了屏幕共享，本程序无法再录制；已录下的部分照常保存。要再次录制，请重新打开本程序。";

struct AppPorts {
  ScreenSource& screen;
  PointerSource& pointer;
  Clock& clock;
  LocalTimeSource& local_time;
  RecorderView& recorder_view;
  MessagePort& messages;
  ClipboardExporter& clipboard;
  HotkeyRegistrar& hotkeys;
  PreviewWindowPort& preview_window;
  TimerPort& preview_timer;
  MainWindowView& window;
  SaveLocations locations;
};

class AppController {
 public:
  explicit AppController(AppPorts ports);
  ~AppController();
  AppController(const AppController&) = delete;
  AppController& operator=(const AppController&) = delete;

  // Start-up, once the window and its controls exist: puts the window on top
  // (the "always on top" box starts ticked) and registers F7 and F8.
  void OnWindowCreated();
  // The window is on screen: when F7 or F8 could not be registered (another
  // program, or another copy of this one, holds it) the user is told once that
  // the buttons still work. The registrations stay as they are.
  void OnWindowShown();
  // The window is about to close (close button, Alt+F4, Esc): the preview
  // goes, a running recording is abandoned unsaved and its thread joined.
  void OnWindowClosing();

  // The process is asked to end (SIGTERM/SIGINT/SIGHUP, the session ends):
  // the running recording is stopped and saved as F8 would save it, without a
  // message box; returns once it is on disk. The back end then exits.
  void OnEndRequested() { recorder_.StopAndSaveQuietly(); }

  // The desktop stopped sharing the screen: the running recording is stopped
  // and saved as a Stop would save it, the user is told, and every later start
  // (button, hot key, command) only repeats why nothing can be recorded.
  void OnScreenSharingEnded();

  void OnRecordClicked() { starts_.StartRecording(); }
  void OnStopClicked() { recorder_.StopRecording(); }
  void OnAboutClicked();
  void OnAlwaysOnTopClicked(bool ticked);
  void OnPreviewClicked(bool ticked, int opacity_index, std::string_view opacity_text);
  void OnPreviewTimerTick() { preview_.OnTick(); }
  void OnPreviewWindowClosed() { preview_.OnWindowClosedExternally(ports_.window); }
  // A wheel message addressed to the window itself: delta in 120ths of a
  // notch, key state 1 Ctrl + 2 Shift + 4 Alt.
  void OnWheel(int wheel_delta, Modifiers held);
  void OnHotkey(std::int32_t id) { hotkeys_.OnHotkey(id); }
  // A command from another process (`orvamy-gif --start` and so on), acted on
  // like the buttons; returns the answer line for the sender (remote_command.h).
  // Never shows a box itself (the sender waits for the answer): a start after
  // the screen sharing ended answers kRemoteAnswerUnavailable, and the back
  // end tells the user once the answer is sent.
  std::string_view OnRemoteCommand(RemoteCommand command);
  // The desktop gives no global keys at all (not a key taken by another
  // program): OnWindowShown then says how to bind them to commands instead.
  void UseCommandsForHotkeys() { hotkeys_by_command_ = true; }

  // Mirrors of the controls the recorder and the preview read.
  void OnWidthTextChanged(std::string text) { model_.SetWidthText(std::move(text)); }
  void OnHeightTextChanged(std::string text) { model_.SetHeightText(std::move(text)); }
  void OnRateTextChanged(std::string text) { model_.SetRateText(std::move(text)); }
  void OnMarkerToggled(bool ticked) { model_.SetMarkerTicked(ticked); }

  // The integer boxes' rules, for the back ends' edit controls.
  static bool AcceptsTypedCharacter(char32_t typed) { return orvamy::AcceptsTypedCharacter(typed); }
  static std::optional<NormalisedBox> NormaliseOnFocusLoss(std::string_view text,
                                                           int selection_start) {
    return NormaliseIntegerBox(text, selection_start);
  }

  const HotkeyDispatcher& hotkeys() const { return hotkeys_; }
  const ControlsModel& model() const { return model_; }
  bool IsRecording() const { return recorder_.IsRecording(); }

 private:
  // Every start goes through here, stops straight on: once the screen is
  // gone a start only tells the user so. Called on the UI thread only, like
  // every start; a stop may come from any thread.
  class StartGate final : public RecordingControl {
   public:
    StartGate(RecordingControl& recorder, MessagePort& messages)
        : recorder_(recorder), messages_(messages) {}
    void StartRecording() override;
    void StopRecording() override { recorder_.StopRecording(); }
    void Close() { closed_ = true; }
    bool closed() const { return closed_; }

   private:
    RecordingControl& recorder_;
    MessagePort& messages_;
    bool closed_ = false;
  };

  AppPorts ports_;
  ControlsModel model_;
  PointerPosition pointer_position_;
  FrameCanvas canvas_;
  Recorder recorder_;
  StartGate starts_;
  PreviewController preview_;
  HotkeyDispatcher hotkeys_;
  bool closing_ = false;
  bool told_hotkeys_taken_ = false;
  bool hotkeys_by_command_ = false;
};

}  // namespace orvamy
