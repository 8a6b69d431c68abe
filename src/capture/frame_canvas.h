#pragma once
// The off-screen surface on which every frame is composed. It keeps its size
// and content from one frame to the next (and from one recording to the next):
// a frame whose capture failed shows what was there before.
// Not thread-safe: only the running recorder uses it, one frame at a time.

#include <cstdint>
#include <span>

#include "capture/bmp.h"
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

  // Copies the picture's pixels with its top-left corner at (0, 0), clipped.
  void DrawPicture(const Picture& picture);
  // The same for a BMP file image that DecodeBmp accepts, decoded straight
  // into the surface (no picture in between). False, and nothing drawn, for
  // bytes that do not decode.
  bool DrawBmp(std::span<const std::uint8_t> file_image);
  // A solid line of the 2-pixel blue pen, both end points included.
  void DrawLine(ScreenPoint from, ScreenPoint to);

  // The whole surface as a 24-bit BMP file image; empty when too large.
  ByteArray TakePicture() const { return EncodeBmp24(surface_); }
  // The same into `image`, reusing its memory; false (and `image` empty) when too large.
  bool TakePictureInto(ByteArray& image) const { return EncodeBmp24Into(surface_, image); }

 private:
  void Resize(std::int32_t width, std::int32_t height);
  void Plot(std::int32_t x, std::int32_t y);

  Picture surface_;
};

}  // namespace orvamy
