#pragma once
// The off-screen surface on which every frame is composed. It keeps its size
// and content from one frame to the next (and from one recording to the next):
// a frame whose capture failed shows what was there before.
// Not thread-safe: only the running recorder uses it, one frame at a time.

#include <cstdint>

#include "base/pixels.h"
#include "ports/ports.h"

namespace orvamy {

class FrameCanvas {
 public:
  static constexpr std::uint32_t kBackground = 0xC0C0C0;  // light grey
  static constexpr std::uint32_t kPenColour = 0x0000FF;   // pure blue (0x00RRGGBB)
  static constexpr int kPenWidth = 2;
  static constexpr std::int32_t kMaxSide = 32627;
  // Surfaces beyond this many pixels are not made; the canvas keeps its size.
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 26;  // 8192 x 8192
  static constexpr std::int32_t kInitialSide = 72;

  FrameCanvas();

  // Sizes below 0 count as 0 and above kMaxSide as kMaxSide; the surface is at
  // least 1 x 1. The overlap of the old content is kept, the rest is background.
  void SetWidth(std::int32_t width);
  void SetHeight(std::int32_t height);
  // Both at once: a change from tall to wide near the pixel cap would be
  // refused as a width-first step (wide and still tall) and then leave the
  // surface at the wrong size.
  void SetSize(std::int32_t width, std::int32_t height);

  std::int32_t Width() const { return surface_.width; }
  std::int32_t Height() const { return surface_.height; }
  const Picture& Surface() const { return surface_; }

  // Copies the pixels with their top-left corner at (0, 0), clipped to the surface.
  void DrawPixels(PixelView pixels);
  // A solid line of the 2-pixel blue pen, both end points included.
  void DrawLine(ScreenPoint from, ScreenPoint to);

  // The whole surface, valid until the next change of size.
  PixelView View() const { return surface_.View(); }

 private:
  void Resize(std::int32_t width, std::int32_t height);
  void Plot(std::int32_t x, std::int32_t y);

  Picture surface_;
};

}  // namespace orvamy
