#pragma once
// The desktop side of the Linux program, X11 or Wayland, behind the ports the
// core reads: the screen, the pointer and the global keys.
// X11: xcb capture and key grabs, the window manager for "always on top".
// Wayland: the screen-cast portal (a dialog the first time), the shortcuts
// portal for F7/F8 where the desktop publishes one, no window manager; where
// the desktop shares no pointer position the rectangle stays at the screen's
// centre and the user is told so.
// Everything here is called on the UI thread only unless a method says otherwise.

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "platform/posix/display_backend.h"
#include "ports/ports.h"

namespace orvamy::x11 {
class X11WindowManager;
}

namespace orvamy::qt {

class LinuxDesktop {
 public:
  // Needs the QApplication made on the matching Qt platform. Null with
  // `error` set to a message for the user when the desktop cannot be recorded.
  static std::unique_ptr<LinuxDesktop> Open(posix::DisplayBackend backend, std::string& error);
  virtual ~LinuxDesktop() = default;

  // Thread-safe (the objects returned too).
  virtual ScreenSource& screen() = 0;
  virtual PointerSource& pointer() = 0;

  virtual HotkeyRegistrar& hotkeys() = 0;
  // Null where a client cannot keep its window above others (Wayland).
  virtual x11::X11WindowManager* window_manager() = 0;
  // Whether registered keys can reach the program at all; false means the
  // user must bind keys to `orvamy-gif --start/--stop` instead.
  virtual bool HasGlobalKeys() const = 0;
  // Calls `pressed` with the identifier RegisterGlobalHotkey gave, for every
  // press from now on (and for presses already waiting), on the UI thread.
  // `context` ends the delivery when it is destroyed.
  virtual void DeliverHotkeys(QObject& context, std::function<void(std::int32_t)> pressed) = 0;
  // Said once when the window is up (empty for none).
  virtual std::string Note() const = 0;
  // Whether the desktop has taken the screen away for good (Wayland: the user
  // stopped the sharing from the desktop). An X11 screen never goes.
  // Thread-safe.
  virtual bool ScreenSharingEnded() const = 0;
};

}  // namespace orvamy::qt
