#pragma once
// F7 starts and F8 stops a recording from anywhere on the desktop.

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "ports/ports.h"
#include "ports/recording_control.h"

namespace orvamy {

class HotkeyDispatcher {
 public:
  // Starts the short F8 thread; throws std::system_error when the system has
  // no thread to give (tests pass one that does).
  using ThreadStarter = std::function<std::thread(std::function<void()>)>;

  explicit HotkeyDispatcher(RecordingControl& recorder,
                            ThreadStarter start_thread = [](std::function<void()> work) {
                              return std::thread(std::move(work));
                            })
      : recorder_(recorder), start_thread_(std::move(start_thread)) {}
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
  ThreadStarter start_thread_;
  std::int32_t start_id_ = 0;
  std::int32_t stop_id_ = 0;
  std::vector<std::thread> stop_threads_;  // short-lived; joined on the next press and at exit
};

}  // namespace orvamy
