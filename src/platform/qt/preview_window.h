#pragma once
// PreviewWindow on X11: a borderless, always-on-top frame that is transparent
// to the mouse (an empty input shape), not in the taskbar or pager, and never
// takes the focus. The screen capture reads what is shown, so a veil over the
// capture rectangle would darken every recorded frame: the frame is a band
// just outside the rectangle (the inside is cut out of the window's shape),
// marking exactly what is captured without ever appearing in a recording.
// The opacity applies to the band where a compositor honours window opacity.
// Called on the UI thread only.

#include <QRect>

#include <functional>
#include <memory>

#include "ports/ports.h"

namespace orvamy::qt {

class PreviewFrameWidget;

class QtPreviewWindow final : public PreviewWindowPort {
 public:
  // The band's width in pixels, outside the capture rectangle.
  static constexpr int kBand = 3;

  // `on_closed_externally` runs (posted) when the window goes by other means
  // than Close().
  explicit QtPreviewWindow(std::function<void()> on_closed_externally);
  ~QtPreviewWindow() override;

  void Open() override;
  void Close() override;
  void SetOpacity(int alpha) override;
  void Place(std::optional<ScreenRect> capture_rect) override;

 private:
  // The device pixels' scale where the rectangle is, and the rectangle in
  // Qt's device-independent pixels, rounded outwards.
  static qreal ScaleAt(const ScreenRect& r);
  static QRect ToLogical(const ScreenRect& r);

  std::function<void()> on_closed_externally_;
  std::unique_ptr<PreviewFrameWidget> widget_;
};

}  // namespace orvamy::qt
