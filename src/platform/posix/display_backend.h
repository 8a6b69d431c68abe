#pragma once
// Which Linux back end runs the program: X11 (xcb capture, key grabs, the
// window manager's "above" state) or Wayland (the desktop portal's screen
// cast, commands or the shortcuts portal for the keys, a plain window).

#include <optional>
#include <string>
#include <string_view>

namespace orvamy::posix {

enum class DisplayBackend { kX11, kWayland };

struct BackendChoice {
  std::optional<DisplayBackend> backend;
  std::string error;  // why there is none, for the user
};

// `forced` is what the user asked for (--backend=NAME, else ORVAMY_BACKEND):
// "x11" or "wayland", empty for the session's own. A Wayland session wins over
// DISPLAY: under XWayland the root window shows no native window, so an X11
// capture there records black.
BackendChoice ChooseDisplayBackend(std::string_view forced, std::string_view wayland_display,
                                   std::string_view session_type, std::string_view x_display);

// The same from this process's environment and `forced_option` (may be empty).
BackendChoice ChooseDisplayBackendFromEnvironment(std::string_view forced_option);

}  // namespace orvamy::posix
