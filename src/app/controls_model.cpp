#include "app/controls_model.h"

#include "form/main_window_layout.h"

namespace orvamy {

ControlsModel::ControlsModel()
    : width_text_(kInitialWidthText),
      height_text_(kInitialHeightText),
      rate_text_(kInitialRateText),
      marker_ticked_(true) {}

void ControlsModel::SetWidthText(std::string text) {
  std::lock_guard lock(mutex_);
  width_text_ = std::move(text);
}
void ControlsModel::SetHeightText(std::string text) {
  std::lock_guard lock(mutex_);
  height_text_ = std::move(text);
}
void ControlsModel::SetRateText(std::string text) {
  std::lock_guard lock(mutex_);
  rate_text_ = std::move(text);
}
void ControlsModel::SetMarkerTicked(bool ticked) {
  std::lock_guard lock(mutex_);
  marker_ticked_ = ticked;
}
std::string ControlsModel::WidthText() const {
  std::lock_guard lock(mutex_);
  return width_text_;
}
std::string ControlsModel::HeightText() const {
  std::lock_guard lock(mutex_);
  return height_text_;
}
std::string ControlsModel::RateText() const {
  std::lock_guard lock(mutex_);
  return rate_text_;
}
bool ControlsModel::MarkerTicked() const {
  std::lock_guard lock(mutex_);
  return marker_ticked_;
}

}  // namespace orvamy
