#pragma once
// The preview frame: while the preview box is ticked, a click-through frame
// follows the pointer every 100 ms and marks the rectangle a recording captures.
// Called on the UI thread only.

#include <optional>
#include <string_view>

#include "capture/compose.h"
#include "ports/ports.h"

namespace orvamy {

inline constexpr int kPreviewTickMilliseconds = 100;

// Opacity (0..255) for the list's selection: 30% -> 76 ... 5% -> 12. When no
// item is selected (text typed into the box) the item whose text matches is
// used, else 15%: the frame must never turn into an opaque window over the
// very area being recorded.
int PreviewAlpha(int selection_index, std::string_view box_text);

class PreviewController {
 public:
  PreviewController(PreviewWindowPort& window, TimerPort& timer, PointerSource& pointer,
                    const ParameterBoxes& boxes, PointerPosition& position);

  // The preview box was clicked; its new state and the opacity box as it stands.
  void OnPreviewToggled(bool ticked, int opacity_index, std::string_view opacity_text);
  // A tick of the preview timer.
  void OnTick();
  // The preview window went away by other means than unticking the box.
  void OnWindowClosedExternally(MainWindowView& view);

  bool IsOn() const { return on_; }

 private:
  void SwitchOff();

  PreviewWindowPort& window_;
  TimerPort& timer_;
  PointerSource& pointer_;
  const ParameterBoxes& boxes_;
  PointerPosition& position_;
  bool on_ = false;
  std::optional<std::optional<ScreenRect>> placed_;  // last placement; outer empty: none yet
};

}  // namespace orvamy
