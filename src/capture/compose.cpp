#include "capture/compose.h"

#include "base/text_number.h"
#include "capture/bmp.h"
#include "capture/frame_geometry.h"

namespace orvamy {

void ReadPointerPosition(PointerSource& pointer, PointerPosition& position) {
  if (const auto p = pointer.QueryPointer()) position.Store(*p);
}

CaptureSettings ReadCaptureSettings(const ParameterBoxes& boxes) {
  return {TextToInt(boxes.WidthText()), TextToInt(boxes.HeightText()), boxes.MarkerTicked()};
}

ScreenRect CurrentCaptureRect(const ParameterBoxes& boxes, ScreenPoint pointer) {
  return CaptureRectAround(pointer, TextToInt(boxes.WidthText()), TextToInt(boxes.HeightText()));
}

namespace {

// Composes one frame into `frame`, reading the screen through `capture`.
void ComposeInto(FrameSources& s, ByteArray& capture, ByteArray& frame) {
  ReadPointerPosition(s.pointer, s.position);
  const CaptureSettings settings = ReadCaptureSettings(s.boxes);
  const ScreenRect rect = CaptureRectAround(s.position.Load(), settings.width, settings.height);

  bool captured = false;
  if (rect.width >= 1 && rect.height >= 1) {
    captured =
        s.screen.CaptureScreenRectInto(capture, rect.left, rect.top, rect.width, rect.height);
  }

  s.canvas.SetSize(settings.width, settings.height);
  // Bytes that do not decode draw nothing: the canvas shows what it held.
  if (captured) s.canvas.DrawBmp(capture);

  if (settings.marker) {
    const auto lines = MarkerLines(settings.width, settings.height);
    for (const CanvasLine& line : lines) s.canvas.DrawLine(line.from, line.to);
  }
  s.canvas.TakePictureInto(frame);
}

}  // namespace

ByteArray ComposeFrame(FrameSources& s) {
  ByteArray capture;
  ByteArray frame;
  ComposeInto(s, capture, frame);
  return frame;
}

std::span<const std::uint8_t> FrameComposer::Compose() {
  ComposeInto(sources_, capture_, frame_);
  return frame_;
}

}  // namespace orvamy
