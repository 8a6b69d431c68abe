#include "platform/posix/display_backend.h"

#include <cstdlib>

namespace orvamy::posix {

BackendChoice ChooseDisplayBackend(std::string_view forced, std::string_view wayland_display,
                                   std::string_view session_type, std::string_view x_display) {
  if (forced == "x11") return {DisplayBackend::kX11, {}};
  if (forced == "wayland") return {DisplayBackend::kWayland, {}};
  if (!forced.empty()) {
    return {std::nullopt, "unknown back end \"" + std::string(forced) + "\" (use x11 or wayland)"};
  }
  if (!wayland_display.empty() || session_type == "wayland") {
    return {DisplayBackend::kWayland, {}};
  }
  if (!x_display.empty()) return {DisplayBackend::kX11, {}};
  return {std::nullopt, "no display: neither WAYLAND_DISPLAY nor DISPLAY is set"};
}

BackendChoice ChooseDisplayBackendFromEnvironment(std::string_view forced_option) {
  const auto env = [](const char* name) -> std::string_view {
    const char* value = std::getenv(name);
    return value ? value : "";
  };
  const std::string_view forced = forced_option.empty() ? env("ORVAMY_BACKEND") : forced_option;
  return ChooseDisplayBackend(forced, env("WAYLAND_DISPLAY"), env("XDG_SESSION_TYPE"),
                              env("DISPLAY"));
}

}  // namespace orvamy::posix
