#pragma once
// The latest picture of each shared monitor and where the pointer is, as the
// screen-cast streams deliver them. Pure: the PipeWire side turns each buffer
// into a StreamBuffer, so what a buffer means (pixels, cursor only, no
// pointer yet) is tested without a compositor.
//
// Coordinates: a monitor's place is in logical (desktop) pixels, as the portal
// reports it; its buffer is in physical pixels, `scale` times as many on a
// scaled monitor. The pointer is reported in logical pixels.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "capture/bmp.h"
#include "platform/wayland/pixel_rows.h"
#include "ports/ports.h"

namespace orvamy::wayland {

// The pointer as a buffer's cursor metadata gives it: relative to the
// monitor's top-left corner, in the buffer's pixels.
struct CursorMeta {
  std::uint32_t id = 0;  // 0: the buffer carries no cursor data (none yet)
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// One buffer of a stream, with the stream's negotiated size.
struct StreamBuffer {
  PixelLayout layout = PixelLayout::kBGRx;
  std::int32_t width = 0;  // physical pixels
  std::int32_t height = 0;
  std::size_t stride = 0;
  std::span<const std::uint8_t> pixels;  // empty: a cursor-only update
  std::optional<CursorMeta> cursor;
};

class FrameStore {
 public:
  // One logical rectangle per stream, in the order the streams are numbered.
  // Called on the UI thread only.
  explicit FrameStore(std::vector<ScreenRect> monitors);

  // Takes in one buffer of stream `monitor`: its pixels replace the monitor's
  // picture unless it has none (the previous picture stays), its cursor
  // metadata moves the pointer. Unknown monitors and malformed pixels are
  // ignored. Thread-safe.
  void Accept(std::size_t monitor, const StreamBuffer& buffer);

  // The rectangle `rect` (logical position, `rect.width` x `rect.height`
  // physical pixels) from the monitor under the pointer (else the one under
  // the rectangle's centre, else the first), top row first; what lies off that
  // monitor is black. On a scaled monitor the rectangle's middle pixel (where
  // the recorder puts the pointer) stays under the same logical point and
  // whole physical pixels are taken around it, so nothing is resampled. A
  // monitor that has sent no picture yet reads black (a compositor may send
  // one only once something on it changes) as long as another monitor has
  // sent one; false while none has. Thread-safe.
  bool CopyRect(ScreenRect rect, Picture& out) const;

  // The latest pointer position any stream reported, nullopt before the first.
  // Thread-safe.
  std::optional<ScreenPoint> Pointer() const;

  // Waits until at least `monitors` monitors have sent a picture or `timeout`
  // passes; true when they have. Thread-safe.
  bool WaitForPictures(std::size_t monitors, std::chrono::milliseconds timeout) const;
  // Stream `monitor` has ended (the compositor removed it, or it failed); its
  // last picture stays readable. Unknown monitors are ignored. Thread-safe.
  void EndStream(std::size_t monitor);
  // Whether every stream has ended: the desktop stopped sharing the screen.
  // Thread-safe.
  bool AllStreamsEnded() const;

  // How many monitors there are. Thread-safe (fixed at construction).
  std::size_t MonitorCount() const { return monitors_.size(); }

 private:
  struct Monitor {
    ScreenRect logical;
    std::int32_t pixel_width = 0;  // the stream's size, for the cursor
    std::int32_t pixel_height = 0;
    // The picture's own size: a stream may change size while its last
    // picture still has the old one.
    std::int32_t picture_width = 0;
    std::int32_t picture_height = 0;
    std::vector<std::uint32_t> pixels;   // empty until the first picture
    std::optional<ScreenPoint> pointer;  // logical, while the pointer is on it
    std::uint64_t pointer_serial = 0;    // which monitor saw the pointer last
    bool ended = false;                  // its stream will send nothing more
  };

  std::optional<ScreenPoint> PointerLocked() const;
  std::size_t MonitorsWithPicturesLocked() const;
  const Monitor* ChooseMonitorLocked(ScreenRect rect) const;
  static void MovePointer(Monitor& monitor, const CursorMeta& cursor, std::uint64_t serial);

  mutable std::mutex mutex_;  // guards monitors_ and serial_
  mutable std::condition_variable picture_arrived_;
  std::vector<Monitor> monitors_;
  std::uint64_t serial_ = 0;
};

}  // namespace orvamy::wayland
