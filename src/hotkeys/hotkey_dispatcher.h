#pragma once
// F7 starts and F8 stops a recording from anywhere on the desktop.

#include <cstdint>
#include <thread>
#include <vector>

#include "ports/ports.h"
#include "ports/recording_control.h"

namespace orvamy {

class HotkeyDispatcher {
 public:
  explicit HotkeyDispatcher(RecordingControl& recorder) : recorder_(recorder) {}
  ~HotkeyDispatcher();
  HotkeyDispatcher(const HotkeyDispatcher&) = delete;
  HotkeyDispatcher& operator=(const HotkeyDispatcher&) = delete;

  // Registers plain F7, then plain F8. A refused key keeps the identifier 0
  // and does nothing; the other still works. Called on the UI thread only.
  void RegisterKeys(HotkeyRegistrar& registrar);

  // A registered key was pressed. Called on the UI thread only.
  void OnHotkey(std::int32_t id);

  std::int32_t start_id() const { return start_id_; }
  std::int32_t stop_id() const { return stop_id_; }

 private:
  RecordingControl& recorder_;
  std::int32_t start_id_ = 0;
  std::int32_t stop_id_ = 0;
  std::vector<std::thread> stop_threads_;  // short-lived; joined on the next press and at exit
};

}  // namespace orvamy
