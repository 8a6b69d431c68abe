#pragma once
// Asks the window manager (EWMH) to put a mapped top-level window into the
// always-on-top band or take it out, without moving or activating it.
// Called on the UI thread only.

#include <cstdint>
#include <memory>

namespace orvamy::x11 {

class X11WindowManager {
 public:
  X11WindowManager();
  ~X11WindowManager();
  X11WindowManager(const X11WindowManager&) = delete;
  X11WindowManager& operator=(const X11WindowManager&) = delete;

  // `window` is the client window's X id. False when the request cannot be sent.
  bool SetAlwaysOnTop(std::uint32_t window, bool on_top);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvamy::x11
