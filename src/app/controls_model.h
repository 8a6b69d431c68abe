#pragma once
// A thread-safe mirror of the parameter boxes and the marker box. The UI thread
// writes it on every change of a control; the recorder and the preview read it,
// so the recorder never waits for the UI thread.

#include <mutex>
#include <string>

#include "ports/ports.h"

namespace orvamy {

class ControlsModel final : public ParameterBoxes {
 public:
  ControlsModel();

  // Called on the UI thread when a control changes.
  void SetWidthText(std::string text);
  void SetHeightText(std::string text);
  void SetRateText(std::string text);
  void SetMarkerTicked(bool ticked);

  // Thread-safe.
  std::string WidthText() const override;
  std::string HeightText() const override;
  std::string RateText() const override;
  bool MarkerTicked() const override;

 private:
  mutable std::mutex mutex_;  // guards the four values below
  std::string width_text_;
  std::string height_text_;
  std::string rate_text_;
  bool marker_ticked_;
};

}  // namespace orvamy
