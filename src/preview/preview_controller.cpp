#include "preview/preview_controller.h"

#include <array>

#include "form/main_window_layout.h"

namespace orvamy {
namespace {

// 255 x the item's percentage, truncated.
constexpr std::array<int, 6> kAlphaByIndex = {76, 63, 51, 38, 25, 12};
constexpr int kFallbackIndex = 3;  // "15%", the box's initial text

}  // namespace

int PreviewAlpha(int selection_index, std::string_view box_text) {
  if (selection_index >= 0 && selection_index < static_cast<int>(kAlphaByIndex.size())) {
    return kAlphaByIndex[static_cast<std::size_t>(selection_index)];
  }
  for (std::size_t i = 0; i < kOpacityItems.size(); ++i) {
    if (kOpacityItems[i] == box_text) return kAlphaByIndex[i];
  }
  return kAlphaByIndex[kFallbackIndex];
}

PreviewController::PreviewController(PreviewWindowPort& window, TimerPort& timer,
                                     PointerSource& pointer, const ParameterBoxes& boxes,
                                     PointerPosition& position)
    : window_(window), timer_(timer), pointer_(pointer), boxes_(boxes), position_(position) {}

void PreviewController::OnPreviewToggled(bool ticked, int opacity_index,
                                         std::string_view opacity_text) {
  if (!ticked) {
    SwitchOff();
    return;
  }
  if (on_) return;
  window_.Open();
  window_.SetOpacity(PreviewAlpha(opacity_index, opacity_text));
  on_ = true;
  placed_.reset();
  OnTick();  // on the rectangle at once rather than after the first period
  timer_.SetPeriod(kPreviewTickMilliseconds);
}

void PreviewController::OnTick() {
  if (!on_) return;
  ReadPointerPosition(pointer_, position_);
  const ScreenRect rect = CurrentCaptureRect(boxes_, position_.Load());
  std::optional<ScreenRect> placement;
  if (rect.width >= 1 && rect.height >= 1) placement = rect;  // else hidden until valid
  if (placed_ && *placed_ == placement) return;
  window_.Place(placement);
  placed_ = placement;
}

void PreviewController::OnWindowClosedExternally(MainWindowView& view) {
  if (!on_) return;
  timer_.SetPeriod(0);
  on_ = false;
  placed_.reset();
  view.SetPreviewTicked(false);
}

void PreviewController::SwitchOff() {
  if (!on_) return;
  timer_.SetPeriod(0);
  window_.Close();
  on_ = false;
  placed_.reset();
}

}  // namespace orvamy
