#include "app/wheel_sizing.h"

#include "base/text_number.h"
#include "form/main_window_layout.h"

namespace orvamy {

int WheelDistance(int wheel_delta) { return wheel_delta / kWheelDeltaPerNotch; }

std::optional<WheelEdit> ApplyWheel(int distance, Modifiers held, std::string_view width_text,
                                    std::string_view height_text) {
  if (distance != 1 && distance != -1) return std::nullopt;
  constexpr double kStep = 15.0;
  const auto stepped = [&](std::string_view text) {
    return RealToText(static_cast<double>(TextToInt(text)) + distance * kStep);
  };
  if (held == Modifiers::kCtrl) return WheelEdit{SizedBox::Height, stepped(height_text)};
  if (held == Modifiers::kAlt) return WheelEdit{SizedBox::Width, stepped(width_text)};
  return std::nullopt;
}

namespace {

// Form pixels to pixels at `dpi`, rounded half away from zero like MulDiv.
int ScaleFromForm(int pixels, int dpi) {
  const long long product = static_cast<long long>(pixels) * dpi;
  return static_cast<int>(product >= 0 ? (product + 48) / 96 : (product - 48) / 96);
}

bool TakesPointer(ControlKind kind) {
  // The group box is the window's own area; the timer and the canvas template
  // are not on screen.
  return kind != ControlKind::GroupBox && kind != ControlKind::Timer &&
         kind != ControlKind::DrawPanel;
}

}  // namespace

bool WheelSizesAt(int client_x, int client_y, int client_width, int client_height, int dpi) {
  if (client_x < 0 || client_y < 0 || client_x >= client_width || client_y >= client_height) {
    return false;
  }
  if (dpi <= 0) dpi = 96;
  for (const ControlSpec& control : kMainWindowControls) {
    if (!TakesPointer(control.kind)) continue;
    const int left = ScaleFromForm(control.left, dpi);
    const int top = ScaleFromForm(control.top, dpi);
    const int right = ScaleFromForm(control.left + control.width, dpi);
    const int bottom = ScaleFromForm(control.top + control.height, dpi);
    if (client_x >= left && client_x < right && client_y >= top && client_y < bottom) return false;
  }
  return true;
}

}  // namespace orvamy
