#include "app/wheel_sizing.h"

#include "base/text_number.h"

namespace orvamy {

int WheelDistance(int wheel_delta) { return wheel_delta / kWheelDeltaPerNotch; }

std::optional<WheelEdit> ApplyWheel(int distance, int key_state, std::string_view width_text,
                                    std::string_view height_text) {
  if (distance != 1 && distance != -1) return std::nullopt;
  constexpr double kStep = 15.0;
  const auto stepped = [&](std::string_view text) {
    return RealToText(static_cast<double>(TextToInt(text)) + distance * kStep);
  };
  if (key_state == kKeyCtrl) return WheelEdit{SizedBox::Height, stepped(height_text)};
  if (key_state == kKeyAlt) return WheelEdit{SizedBox::Width, stepped(width_text)};
  return std::nullopt;
}

}  // namespace orvamy
