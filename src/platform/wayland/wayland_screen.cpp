#include "platform/wayland/wayland_screen.h"

namespace orvamy::wayland {

WaylandScreen::WaylandScreen(const FrameStore& store, bool follows_pointer)
    : store_(store), follows_pointer_(follows_pointer) {}

ByteArray WaylandScreen::CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                           std::int32_t height) {
  Picture picture;
  if (!CapturePixelsInto(picture, ScreenRect{x, y, width, height})) return {};
  return EncodeBmp(picture.View(), 32);
}

bool WaylandScreen::CapturePixelsInto(Picture& into, ScreenRect rect) {
  if (rect.width < 1 || rect.height < 1) return false;
  return store_.CopyRect(rect, into);
}

std::optional<ScreenPoint> WaylandScreen::QueryPointer() {
  if (!follows_pointer_) return std::nullopt;
  return store_.Pointer();
}

}  // namespace orvamy::wayland
