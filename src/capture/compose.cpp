#include "capture/compose.h"

#include <algorithm>

#include "base/text_number.h"
#include "capture/frame_geometry.h"

namespace orvamy {

void ReadPointerPosition(PointerSource& pointer, PointerPosition& position) {
  if (const auto p = pointer.QueryPointer()) position.Store(*p);
}

CaptureSettings ReadCaptureSettings(const ParameterBoxes& boxes) {
  const std::int32_t rate = TextToInt(boxes.RateText());
  return {TextToInt(boxes.WidthText()), TextToInt(boxes.HeightText()), boxes.MarkerTicked(),
          rate < 0 ? 0 : rate};
}

ScreenRect CurrentCaptureRect(const ParameterBoxes& boxes, ScreenPoint pointer) {
  return CaptureRectAround(pointer, TextToInt(boxes.WidthText()), TextToInt(boxes.HeightText()));
}

namespace {

// Composes one frame on the canvas, reading the screen through `capture`.
void ComposeOnCanvas(FrameSources& s, const CaptureSettings& settings, Picture& capture) {
  ReadPointerPosition(s.pointer, s.position);
  const ScreenRect rect = CaptureRectAround(s.position.Load(), settings.width, settings.height);

  s.canvas.SetSize(settings.width, settings.height);
  if (rect.width >= 1 && rect.height >= 1) {
    // Only what the canvas shows is read: it keeps its size when a box asks
    // for more pixels than it may hold, and draws the capture clipped.
    const ScreenRect shown{rect.left, rect.top, std::min(rect.width, s.canvas.Width()),
                           std::min(rect.height, s.canvas.Height())};
    // A failed capture draws nothing: the canvas shows what it held.
    if (s.screen.CapturePixelsInto(capture, shown)) s.canvas.DrawPixels(capture.View());
  }

  if (settings.marker) {
    const auto lines = MarkerLines(settings.width, settings.height);
    for (const CanvasLine& line : lines) s.canvas.DrawLine(line.from, line.to);
  }
}

}  // namespace

Picture ComposeFrame(FrameSources& s) {
  Picture capture;
  ComposeOnCanvas(s, ReadCaptureSettings(s.boxes), capture);
  const PixelView view = s.canvas.View();
  Picture frame;
  frame.width = view.width;
  frame.height = view.height;
  frame.pixels.assign(view.pixels, view.pixels + static_cast<std::size_t>(view.width) *
                                                     static_cast<std::size_t>(view.height));
  return frame;
}

PixelView FrameComposer::Compose(const CaptureSettings& settings) {
  ComposeOnCanvas(sources_, settings, capture_);
  return sources_.canvas.View();
}

}  // namespace orvamy
