#pragma once
// The core's ScreenSource and PointerSource over the latest monitor pictures.
// A thin adapter: everything it knows comes from FrameStore::CopyRect and
// FrameStore::Pointer.

#include "platform/wayland/frame_store.h"
#include "ports/ports.h"

namespace orvamy::wayland {

class WaylandScreen final : public ScreenSource, public PointerSource {
 public:
  // `store` must outlive this object. `follows_pointer` false where the
  // desktop shares no pointer position: QueryPointer then answers nullopt.
  // Called on the UI thread only.
  WaylandScreen(const FrameStore& store, bool follows_pointer);

  // A 32-bit BMP file image of the rectangle, off-screen pixels black; empty
  // before the first picture. Thread-safe.
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height) override;
  // The rectangle's pixels into `into`, reusing its memory; false before the
  // first picture. Thread-safe.
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override;
  // The pointer from the streams' cursor metadata. Thread-safe.
  std::optional<ScreenPoint> QueryPointer() override;

 private:
  const FrameStore& store_;
  const bool follows_pointer_;
};

}  // namespace orvamy::wayland
