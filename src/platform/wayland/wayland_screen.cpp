#include "platform/wayland/wayland_screen.h"

namespace orvamy::wayland {

WaylandScreen::WaylandScreen(const FrameStore& store, bool follows_pointer)
    : store_(store), follows_pointer_(follows_pointer) {}

ByteArray WaylandScreen::CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                           std::int32_t height) {
  ByteArray image;
  CaptureScreenRectInto(image, x, y, width, height);
  return image;
}

bool WaylandScreen::CaptureScreenRectInto(ByteArray& image, std::int32_t x, std::int32_t y,
                                          std::int32_t width, std::int32_t height) {
  const std::optional<BmpLayout> layout = ComputeBmpLayout(width, height, 32);
  std::lock_guard lock(scratch_mutex_);
  Picture& picture = scratch_;
  if (!layout || !store_.CopyRect(ScreenRect{x, y, width, height}, picture) ||
      !PrepareBmpFileImage(image, *layout)) {
    image.clear();
    return false;
  }
  // BMP rows go bottom-up; 32-bit pixels are B, G, R, 0 in memory, which is
  // the 0x00RRGGBB word in little-endian order.
  for (std::int32_t row = 0; row < height; ++row) {
    std::uint8_t* target = image.data() + kBmpPixelOffset +
                           static_cast<std::size_t>(height - 1 - row) * layout->row_bytes;
    const std::uint32_t* source =
        picture.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    for (std::int32_t column = 0; column < width; ++column) {
      const std::uint32_t pixel = source[column];
      target[0] = static_cast<std::uint8_t>(pixel);
      target[1] = static_cast<std::uint8_t>(pixel >> 8);
      target[2] = static_cast<std::uint8_t>(pixel >> 16);
      target[3] = 0;
      target += 4;
    }
  }
  return true;
}

std::optional<ScreenPoint> WaylandScreen::QueryPointer() {
  if (!follows_pointer_) return std::nullopt;
  return store_.Pointer();
}

}  // namespace orvamy::wayland
