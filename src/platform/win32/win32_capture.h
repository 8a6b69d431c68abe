#pragma once
// Reading the screen with GDI and the pointer with GetCursorPos. The program
// is per-monitor DPI aware (its manifest), so both work in physical pixels of
// the virtual screen; a monitor left of or above the primary one gives
// negative coordinates, which work unchanged.

#include "ports/ports.h"

namespace orvamy::win32 {

// Thread-safe: every call makes and releases its own GDI objects.
class GdiScreenSource final : public ScreenSource {
 public:
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height) override;
  // GetDIBits at 32 bits per pixel, top-down, straight into `into`.
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override;
};

// Thread-safe.
class CursorPointerSource final : public PointerSource {
 public:
  std::optional<ScreenPoint> QueryPointer() override;
};

}  // namespace orvamy::win32
