#pragma once
// Where a frame is taken and where its pointer marker goes. Halves are real
// (W / 2.0) and every result is truncated toward zero, so an odd width of 351
// around x = 100 starts at -75, not -76.

#include <array>
#include <cstdint>

#include "ports/ports.h"

namespace orvamy {

ScreenRect CaptureRectAround(ScreenPoint pointer, std::int32_t width, std::int32_t height);

struct CanvasLine {
  ScreenPoint from;
  ScreenPoint to;
  friend bool operator==(const CanvasLine&, const CanvasLine&) = default;
};

// The three strokes of the pointer marker in frame coordinates: a diagonal tail
// toward the lower right, a horizontal and a vertical stroke; for 350 x 250
// (175,125)-(181,131), (174,125)-(178,125) and (175,124)-(175,128).
std::array<CanvasLine, 3> MarkerLines(std::int32_t width, std::int32_t height);

}  // namespace orvamy
