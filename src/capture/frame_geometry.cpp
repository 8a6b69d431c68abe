#include "capture/frame_geometry.h"

#include "base/text_number.h"

namespace orvamy {

ScreenRect CaptureRectAround(ScreenPoint pointer, std::int32_t width, std::int32_t height) {
  return ScreenRect{TruncToInt32(pointer.x - width / 2.0), TruncToInt32(pointer.y - height / 2.0),
                    width, height};
}

std::array<CanvasLine, 3> MarkerLines(std::int32_t width, std::int32_t height) {
  const double cx = width / 2.0;
  const double cy = height / 2.0;
  const auto at = [](double x, double y) { return ScreenPoint{TruncToInt32(x), TruncToInt32(y)}; };
  return {CanvasLine{at(cx, cy), at(cx + 6, cy + 6)},
          CanvasLine{at(cx - 1, cy), at(cx + 3, cy)},
          CanvasLine{at(cx, cy - 1), at(cx, cy + 3)}};
}

}  // namespace orvamy
