#pragma once
// Ctrl + wheel changes the height box, Alt + wheel the width box, by 15 per notch,
// for turns with the pointer over the window's own area.

#include <optional>
#include <string>
#include <string_view>

#include "ports/ports.h"

namespace orvamy {

inline constexpr int kWheelDeltaPerNotch = 120;

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
std::optional<WheelEdit> ApplyWheel(int distance, Modifiers held, std::string_view width_text,
                                    std::string_view height_text);

// Whether a wheel turn with the pointer at this client point (pixels at `dpi`,
// the form's rectangles scaled from 96 dpi as the back end lays them out)
// sizes the rectangle: over the bare background and inside the group box it
// does, over any control of the form table (labels too) or outside the client
// area it does not. Back ends decide by the pointer, whichever window the
// system addressed the turn to.
bool WheelSizesAt(int client_x, int client_y, int client_width, int client_height, int dpi);

}  // namespace orvamy
