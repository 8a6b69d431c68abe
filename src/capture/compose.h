#pragma once
// One frame: the rectangle centred on the pointer, drawn on the frame canvas,
// with the pointer marker when the marker box is ticked, as pixels (base/pixels.h).

#include <atomic>
#include <cstdint>

#include "base/pixels.h"
#include "capture/frame_canvas.h"
#include "ports/ports.h"

namespace orvamy {

// The pointer position as last read, shared by the recorder and the preview
// timer. Thread-safe: x and y are stored and loaded separately, each whole.
class PointerPosition {
 public:
  void Store(ScreenPoint p) {
    x_.store(p.x, std::memory_order_relaxed);
    y_.store(p.y, std::memory_order_relaxed);
  }
  ScreenPoint Load() const {
    return {x_.load(std::memory_order_relaxed), y_.load(std::memory_order_relaxed)};
  }

 private:
  std::atomic<std::int32_t> x_{0};
  std::atomic<std::int32_t> y_{0};
};

// Queries the pointer and stores it; when the query fails the last position stays.
void ReadPointerPosition(PointerSource& pointer, PointerPosition& position);

// What composing a frame reads and draws on.
struct FrameSources {
  ScreenSource& screen;
  PointerSource& pointer;
  const ParameterBoxes& boxes;
  PointerPosition& position;
  FrameCanvas& canvas;
};

// The boxes a frame depends on, read once per frame so that every part of the
// frame, its time on screen included, agrees even while the user types.
struct CaptureSettings {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool marker = false;
  // Frames per second; never negative (a negative rate would mean a wait of
  // weeks, so it reads as 0, "no pause").
  std::int32_t rate = 0;
};
CaptureSettings ReadCaptureSettings(const ParameterBoxes& boxes);

// The rectangle a frame (and the preview) covers for the boxes as they read now.
ScreenRect CurrentCaptureRect(const ParameterBoxes& boxes, ScreenPoint pointer);

// Composes one frame with the boxes as they read now and returns a copy of
// it. A failed capture still yields a frame: the canvas as it stood, with the
// marker.
Picture ComposeFrame(FrameSources& sources);

// Composes frame after frame like ComposeFrame, keeping the capture's memory
// from one call to the next (8 MB at full HD: a fresh allocation per frame
// costs page faults and clearing every time) and handing out the canvas
// itself instead of a copy.
// Not thread-safe: one recording's thread uses it.
class FrameComposer {
 public:
  explicit FrameComposer(FrameSources sources) : sources_(sources) {}

  // The next frame for `settings` (read once by the caller for the whole
  // frame): a view of the canvas, valid until the next call or until the
  // canvas changes.
  PixelView Compose(const CaptureSettings& settings);

 private:
  FrameSources sources_;
  Picture capture_;
};

}  // namespace orvamy
