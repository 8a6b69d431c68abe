#include "platform/posix/display_backend.h"

#include <gtest/gtest.h>

namespace orvamy::posix {
namespace {

TEST(DisplayBackend, TheSessionDecidesUnlessTheUserForcesOne) {
  using B = DisplayBackend;
  const struct {
    const char* forced;
    const char* wayland_display;
    const char* session_type;
    const char* x_display;
    std::optional<B> expected;
  } cases[] = {
      {"", "", "x11", ":0", B::kX11},
      {"", "", "", ":0", B::kX11},
      {"", "wayland-0", "wayland", ":0", B::kWayland},  // XWayland: the root shows no native window
      {"", "wayland-0", "", "", B::kWayland},
      {"", "", "wayland", ":1", B::kWayland},
      {"x11", "wayland-0", "wayland", ":0", B::kX11},
      {"wayland", "", "x11", ":0", B::kWayland},
      {"", "", "", "", std::nullopt},
      {"X11", "", "", ":0", std::nullopt},
      {"gtk", "wayland-0", "", ":0", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.forced) + "|" + c.wayland_display + "|" + c.session_type + "|" +
                 c.x_display);
    const BackendChoice choice =
        ChooseDisplayBackend(c.forced, c.wayland_display, c.session_type, c.x_display);
    EXPECT_EQ(choice.backend, c.expected);
    EXPECT_EQ(choice.error.empty(), c.expected.has_value()) << choice.error;
  }
}

}  // namespace
}  // namespace orvamy::posix
