#include "app/app_controller.h"

#include "form/main_window_layout.h"
#include "app/wheel_sizing.h"

namespace orvamy {

AppController::AppController(AppPorts ports)
    : ports_(std::move(ports)),
      recorder_(RecorderPorts{ports_.screen, ports_.pointer, model_, pointer_position_, canvas_,
                              ports_.clock, ports_.local_time, ports_.recorder_view,
                              ports_.messages, ports_.clipboard, ports_.locations}),
      starts_(recorder_, ports_.messages),
      preview_(ports_.preview_window, ports_.preview_timer, ports_.pointer, model_,
               pointer_position_),
      hotkeys_(starts_) {}

AppController::~AppController() { OnWindowClosing(); }

void AppController::OnWindowCreated() {
  // The box starts ticked, so the window starts on top to match it.
  ports_.window.SetAlwaysOnTop(FindControl(ControlId::OnTopBox).initially_ticked);
  hotkeys_.RegisterKeys(ports_.hotkeys);
}

void AppController::OnWindowShown() {
  if (told_hotkeys_taken_ || closing_) return;
  if (hotkeys_.start_id() != 0 && hotkeys_.stop_id() != 0) return;
  told_hotkeys_taken_ = true;
  ports_.messages.ShowMessage(hotkeys_by_command_ ? kHotkeysByCommandText : kHotkeysTakenText,
                              kDefaultMessageTitle);
}

std::string_view AppController::OnRemoteCommand(RemoteCommand command) {
  if (closing_) return kRemoteAnswerIdle;
  // A recording that was asked to stop is being saved: for the sender it is
  // over, and a toggle starts the next one.
  const auto running = [this] {
    const RecorderState state = recorder_.State();
    return state == RecorderState::kStarting || state == RecorderState::kRecording;
  };
  const bool would_start =
      command == RemoteCommand::kStart || (command == RemoteCommand::kToggle && !running());
  if (would_start && starts_.closed()) return kRemoteAnswerUnavailable;
  switch (command) {
    case RemoteCommand::kStart:
      starts_.StartRecording();
      break;
    case RemoteCommand::kStop:
      recorder_.StopRecording();
      break;
    case RemoteCommand::kToggle:
      if (running()) {
        recorder_.StopRecording();
      } else {
        starts_.StartRecording();
      }
      break;
  }
  return running() ? kRemoteAnswerRecording : kRemoteAnswerIdle;
}

void AppController::StartGate::StartRecording() {
  if (closed_) {
    messages_.ShowMessage(kScreenSharingEndedText, kDefaultMessageTitle);
    return;
  }
  recorder_.StartRecording();
}

void AppController::OnScreenSharingEnded() {
  if (closing_ || starts_.closed()) return;
  starts_.Close();
  // What was recorded up to here is worth keeping: saved with its outcome box.
  recorder_.StopRecording();
  ports_.messages.ShowMessage(kScreenSharingEndedText, kDefaultMessageTitle);
}

void AppController::OnWindowClosing() {
  if (closing_) return;
  closing_ = true;
  preview_.OnPreviewToggled(false, -1, {});
  recorder_.Shutdown();
}

void AppController::OnAboutClicked() { ports_.messages.ShowMessage(kAboutText, kAboutTitle); }

void AppController::OnAlwaysOnTopClicked(bool ticked) { ports_.window.SetAlwaysOnTop(ticked); }

void AppController::OnPreviewClicked(bool ticked, int opacity_index,
                                     std::string_view opacity_text) {
  preview_.OnPreviewToggled(ticked, opacity_index, opacity_text);
}

void AppController::OnWheel(int wheel_delta, Modifiers held) {
  const auto edit = ApplyWheel(WheelDistance(wheel_delta), held, model_.WidthText(),
                               model_.HeightText());
  if (!edit) return;
  if (edit->box == SizedBox::Width) {
    model_.SetWidthText(edit->text);
    ports_.window.SetWidthText(edit->text);
  } else {
    model_.SetHeightText(edit->text);
    ports_.window.SetHeightText(edit->text);
  }
}

}  // namespace orvamy
