#pragma once
// The screen and the pointer of the X display, read on a connection of our own.
// Supports: depth 24 and 32 screens at 32 bits per pixel (their BMP captures
// at 32 bits), 24 bits per pixel, and 16-bit 5-6-5 screens (BMP at 24);
// MIT-SHM where the server offers it, plain GetImage otherwise. Does not
// support: other depths (their captures are empty), screens other than the
// default one. Thread-safe: one mutex serialises the capture's connection;
// the pointer is read on a second connection of its own, so the preview's
// pointer queries never wait behind a slow capture (the server answers one
// client's requests in order).

#include <memory>
#include <mutex>

#include "ports/ports.h"

namespace orvamy::x11 {

class X11Screen final : public ScreenSource, public PointerSource {
 public:
  X11Screen();
  ~X11Screen() override;
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  // False when the display cannot be opened.
  bool ok() const;
  // Whether captures go through shared memory (for diagnostics and benchmarks).
  bool UsesSharedMemory() const;

  // The rectangle at the screen's depth; the parts off the screen are black.
  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height) override;
  // The rectangle converted straight from the server's rows, reusing `into`.
  bool CapturePixelsInto(Picture& into, ScreenRect rect) override;
  std::optional<ScreenPoint> QueryPointer() override;

 private:
  struct Impl;
  struct PointerConnection;
  mutable std::mutex mutex_;  // guards impl_ (the connection and the shared segment)
  std::unique_ptr<Impl> impl_;
  // Read-only after construction; xcb itself is thread-safe.
  std::unique_ptr<PointerConnection> pointer_;
};

}  // namespace orvamy::x11
