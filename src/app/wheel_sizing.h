#pragma once
// Ctrl + wheel changes the height box, Alt + wheel the width box, by 15 per notch.

#include <optional>
#include <string>
#include <string_view>

namespace orvamy {

inline constexpr int kWheelDeltaPerNotch = 120;
inline constexpr int kKeyCtrl = 1;
inline constexpr int kKeyShift = 2;
inline constexpr int kKeyAlt = 4;

// Whole notches in a wheel delta, truncated toward zero (a partial notch is 0).
int WheelDistance(int wheel_delta);

enum class SizedBox { Width, Height };

struct WheelEdit {
  SizedBox box;
  std::string text;
  friend bool operator==(const WheelEdit&, const WheelEdit&) = default;
};

// The box to rewrite and its new text, or nullopt when nothing changes: only
// exactly Ctrl or exactly Alt, and only a distance of exactly 1 or -1, act.
std::optional<WheelEdit> ApplyWheel(int distance, int key_state, std::string_view width_text,
                                    std::string_view height_text);

}  // namespace orvamy
