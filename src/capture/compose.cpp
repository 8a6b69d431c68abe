#include "capture/compose.h"

#include <optional>

#include "base/text_number.h"
#include "capture/bmp.h"
#include "capture/frame_geometry.h"

namespace orvamy {

void ReadPointerPosition(PointerSource& pointer, PointerPosition& position) {
  if (const auto p = pointer.QueryPointer()) position.Store(*p);
}

ScreenRect CurrentCaptureRect(const ParameterBoxes& boxes, ScreenPoint pointer) {
  return CaptureRectAround(pointer, TextToInt(boxes.WidthText()), TextToInt(boxes.HeightText()));
}

ByteArray ComposeFrame(FrameSources& s) {
  ReadPointerPosition(s.pointer, s.position);
  const ScreenRect rect = CurrentCaptureRect(s.boxes, s.position.Load());

  std::optional<Picture> picture;
  if (rect.width >= 1 && rect.height >= 1) {
    const ByteArray capture = s.screen.CaptureScreenRect(rect.left, rect.top, rect.width, rect.height);
    if (!capture.empty()) picture = DecodeBmp(capture);
  }

  s.canvas.SetWidth(TextToInt(s.boxes.WidthText()));
  s.canvas.SetHeight(TextToInt(s.boxes.HeightText()));
  if (picture) s.canvas.DrawPicture(*picture);

  if (s.boxes.MarkerTicked()) {
    const auto lines =
        MarkerLines(TextToInt(s.boxes.WidthText()), TextToInt(s.boxes.HeightText()));
    for (const CanvasLine& line : lines) s.canvas.DrawLine(line.from, line.to);
  }
  return s.canvas.TakePicture();
}

}  // namespace orvamy
