#pragma once
// Message boxes: MessageBoxW with one OK button, no icon, no owner window,
// task-modal. A box shown on the recorder thread leaves the main window
// usable; one shown on the UI thread (the About box) blocks it.

#include <cstdint>
#include <map>
#include <mutex>

#include "ports/ports.h"

namespace orvamy::win32 {

// Thread-safe.
class Win32MessagePort final : public MessagePort {
 public:
  void ShowMessage(std::string_view text, std::string_view title) override;
  // Closes the boxes of every thread that is inside ShowMessage. The caller
  // waits for those threads in a loop, so this also answers messages that
  // other threads sent to the caller's windows meanwhile (activation changes
  // caused by a box): such a thread can never block on the waiting one.
  void DismissAll() override;

 private:
  std::mutex mutex_;                               // guards showing_
  std::map<std::uint32_t, int> showing_;           // thread id -> boxes open on it
};

}  // namespace orvamy::win32
