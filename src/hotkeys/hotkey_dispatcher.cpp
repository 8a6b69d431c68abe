#include "hotkeys/hotkey_dispatcher.h"

#include <system_error>

namespace orvamy {

HotkeyDispatcher::~HotkeyDispatcher() {
  for (std::thread& t : stop_threads_) t.join();
}

void HotkeyDispatcher::RegisterKeys(HotkeyRegistrar& registrar) {
  start_id_ = registrar.RegisterGlobalHotkey(Modifiers::kNone, Key::kF7);
  stop_id_ = registrar.RegisterGlobalHotkey(Modifiers::kNone, Key::kF8);
}

void HotkeyDispatcher::OnHotkey(std::int32_t id) {
  if (id == 0) return;  // a refused registration never matches
  if (id == start_id_) recorder_.StartRecording();
  if (id == stop_id_) {
    // The stop request runs on a short thread of its own, so the hot-key
    // message is handled at once whatever the recorder is doing.
    for (std::thread& t : stop_threads_) t.join();
    stop_threads_.clear();
    try {
      stop_threads_.push_back(start_thread_([this] { recorder_.StopRecording(); }));
    } catch (const std::system_error&) {
      recorder_.StopRecording();  // no thread to be had: the stop itself is short, do it here
    }
  }
}

}  // namespace orvamy
