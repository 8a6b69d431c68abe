#include "capture/frame_canvas.h"

#include <algorithm>
#include <cstdlib>

namespace orvamy {
namespace {

std::int32_t ClampSide(std::int32_t side) { return std::clamp(side, 0, FrameCanvas::kMaxSide); }

}  // namespace

FrameCanvas::FrameCanvas() {
  surface_.width = kInitialSide;
  surface_.height = kInitialSide;
  surface_.pixels.assign(static_cast<std::size_t>(kInitialSide) * kInitialSide, kBackground);
}

void FrameCanvas::SetWidth(std::int32_t width) { Resize(ClampSide(width), surface_.height); }

void FrameCanvas::SetHeight(std::int32_t height) { Resize(surface_.width, ClampSide(height)); }

void FrameCanvas::SetSize(std::int32_t width, std::int32_t height) {
  Resize(ClampSide(width), ClampSide(height));
}

void FrameCanvas::Resize(std::int32_t width, std::int32_t height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == surface_.width && height == surface_.height) return;
  if (static_cast<std::int64_t>(width) * height > kMaxPixels) return;
  Picture resized;
  resized.width = width;
  resized.height = height;
  resized.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                        kBackground);
  const std::int32_t keep_w = std::min(width, surface_.width);
  const std::int32_t keep_h = std::min(height, surface_.height);
  for (std::int32_t y = 0; y < keep_h; ++y) {
    const auto* from = surface_.pixels.data() + static_cast<std::size_t>(y) * surface_.width;
    std::copy(from, from + keep_w, resized.pixels.data() + static_cast<std::size_t>(y) * width);
  }
  surface_ = std::move(resized);
}

void FrameCanvas::DrawPixels(PixelView pixels) {
  if (pixels.empty()) return;
  const auto w = static_cast<std::size_t>(std::min(pixels.width, surface_.width));
  const std::int32_t h = std::min(pixels.height, surface_.height);
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint32_t* from = pixels.Row(y);
    std::copy(from, from + w, surface_.Row(y));
  }
}

void FrameCanvas::Plot(std::int32_t x, std::int32_t y) {
  // A 2-pixel pen centred on the ideal line covers the pixel of the point and
  // the one before it on each axis.
  for (std::int32_t py = y - 1; py <= y; ++py) {
    for (std::int32_t px = x - 1; px <= x; ++px) {
      if (px >= 0 && py >= 0 && px < surface_.width && py < surface_.height) {
        surface_.pixels[static_cast<std::size_t>(py) * surface_.width + px] = kPenColour;
      }
    }
  }
}

void FrameCanvas::DrawLine(ScreenPoint from, ScreenPoint to) {
  // Bresenham in 64-bit so that far-off end points cannot overflow.
  std::int64_t x = from.x;
  std::int64_t y = from.y;
  const std::int64_t dx = std::llabs(std::int64_t{to.x} - x);
  const std::int64_t dy = -std::llabs(std::int64_t{to.y} - y);
  const std::int64_t sx = x < to.x ? 1 : -1;
  const std::int64_t sy = y < to.y ? 1 : -1;
  std::int64_t error = dx + dy;
  const std::int64_t limit_x = surface_.width + 1;
  const std::int64_t limit_y = surface_.height + 1;
  while (true) {
    if (x >= 0 && y >= 0 && x <= limit_x && y <= limit_y) {
      Plot(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
    }
    if (x == to.x && y == to.y) break;
    const std::int64_t twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

}  // namespace orvamy
