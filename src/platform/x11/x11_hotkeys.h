#pragma once
// Global hot keys by key grabs on the root window, on a connection of our own.
// A key is grabbed with exactly the modifiers asked for, and also with every
// combination of the lock modifiers (Caps Lock, Num Lock, Scroll Lock), so it
// works whatever lock is on; never with other modifiers added. A key that the
// server refuses in any of these forms (BadAccess: another client holds it)
// is not grabbed at all and gets the identifier 0.
// Called on the UI thread only: the UI watches FileDescriptor() and calls
// TakePressed() when it becomes readable.

#include <cstdint>
#include <memory>
#include <vector>

#include "ports/ports.h"

namespace orvamy::x11 {

class X11Hotkeys final : public HotkeyRegistrar {
 public:
  X11Hotkeys();
  ~X11Hotkeys() override;
  X11Hotkeys(const X11Hotkeys&) = delete;
  X11Hotkeys& operator=(const X11Hotkeys&) = delete;

  // Grabs the key on every keycode that produces it. Identifiers count up
  // from 1 in registration order.
  std::int32_t RegisterGlobalHotkey(Modifiers modifiers, Key key) override;

  // The connection's socket, -1 when there is none.
  int FileDescriptor() const;
  // The identifiers of the keys pressed since the last call, in order.
  std::vector<std::int32_t> TakePressed();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvamy::x11
