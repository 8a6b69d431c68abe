#include "platform/qt/linux_desktop.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <cstdio>

#include "platform/x11/x11_hotkeys.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_window_manager.h"
#if ORVAMY_HAVE_WAYLAND
#include "platform/wayland/portal_shortcuts.h"
#include "platform/wayland/wayland_capture.h"
#include "platform/wayland/wayland_messages.h"
#endif

namespace orvamy::qt {
namespace {

class X11Desktop final : public LinuxDesktop {
 public:
  bool ok() const { return screen_.ok(); }
  ScreenSource& screen() override { return screen_; }
  PointerSource& pointer() override { return screen_; }
  HotkeyRegistrar& hotkeys() override { return hotkeys_; }
  x11::X11WindowManager* window_manager() override { return &window_manager_; }
  bool HasGlobalKeys() const override { return true; }
  std::string Note() const override { return {}; }
  bool ScreenSharingEnded() const override { return false; }

  void DeliverHotkeys(QObject& context, std::function<void(std::int32_t)> pressed) override {
    if (hotkeys_.FileDescriptor() >= 0) {
      notifier_ = std::make_unique<QSocketNotifier>(hotkeys_.FileDescriptor(), QSocketNotifier::Read);
      QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context, [this, pressed] {
        for (const std::int32_t id : hotkeys_.TakePressed()) pressed(id);
      });
    }
    // Events read while the keys were being grabbed are already in xcb's queue.
    for (const std::int32_t id : hotkeys_.TakePressed()) pressed(id);
  }

 private:
  x11::X11Screen screen_;
  x11::X11Hotkeys hotkeys_;
  x11::X11WindowManager window_manager_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

#if ORVAMY_HAVE_WAYLAND

// Where the desktop shares no pointer position: the centre of the primary
// screen, in the desktop's logical pixels like the portal's monitors.
class ScreenCentre final : public PointerSource {
 public:
  ScreenCentre() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect area = screen->geometry();
      centre_ = ScreenPoint{area.left() + area.width() / 2, area.top() + area.height() / 2};
    }
  }
  std::optional<ScreenPoint> QueryPointer() override { return centre_; }

 private:
  ScreenPoint centre_;
};

// F7/F8 as the shortcuts portal delivers them; the registrar hands out one
// identifier per key when the portal session is open, none otherwise.
class PortalHotkeys final : public HotkeyRegistrar {
 public:
  static constexpr std::int32_t kStartId = 1;
  static constexpr std::int32_t kStopId = 2;
  explicit PortalHotkeys(bool open) : open_(open) {}
  std::int32_t RegisterGlobalHotkey(Modifiers modifiers, Key key) override {
    if (!open_ || modifiers != Modifiers::kNone) return 0;
    return key == Key::kF7 ? kStartId : kStopId;
  }

 private:
  bool open_;
};

class WaylandDesktop final : public LinuxDesktop {
 public:
  explicit WaylandDesktop(std::unique_ptr<wayland::WaylandCapture> capture)
      : capture_(std::move(capture)) {
    std::string error;
    shortcuts_ = wayland::GlobalShortcutsPortal::Open(
        [this](const std::string& id) {
          if (!pressed_) return;
          if (id == wayland::kStartShortcutId) pressed_(PortalHotkeys::kStartId);
          if (id == wayland::kStopShortcutId) pressed_(PortalHotkeys::kStopId);
        },
        error);
    if (!shortcuts_) std::fprintf(stderr, "orvamy-gif: no global keys: %s\n", error.c_str());
    hotkeys_ = std::make_unique<PortalHotkeys>(shortcuts_ != nullptr);
  }

  ScreenSource& screen() override { return capture_->screen(); }
  PointerSource& pointer() override {
    return capture_->FollowsPointer() ? capture_->pointer() : centre_;
  }
  HotkeyRegistrar& hotkeys() override { return *hotkeys_; }
  x11::X11WindowManager* window_manager() override { return nullptr; }
  bool HasGlobalKeys() const override { return shortcuts_ != nullptr; }
  std::string Note() const override {
    return capture_->FollowsPointer() ? std::string() : std::string(wayland::kFixedRectangleNote);
  }
  bool ScreenSharingEnded() const override { return capture_->SharingEnded(); }
  void DeliverHotkeys(QObject&, std::function<void(std::int32_t)> pressed) override {
    pressed_ = std::move(pressed);
  }

 private:
  std::unique_ptr<wayland::WaylandCapture> capture_;
  ScreenCentre centre_;
  std::unique_ptr<wayland::GlobalShortcutsPortal> shortcuts_;
  std::unique_ptr<PortalHotkeys> hotkeys_;
  std::function<void(std::int32_t)> pressed_;
};

#endif

}  // namespace

std::unique_ptr<LinuxDesktop> LinuxDesktop::Open(posix::DisplayBackend backend, std::string& error) {
  if (backend == posix::DisplayBackend::kX11) {
    auto desktop = std::make_unique<X11Desktop>();
    if (desktop->ok()) return desktop;
    error = "无法打开 X 显示（DISPLAY），无法录制。";
    return nullptr;
  }
#if ORVAMY_HAVE_WAYLAND
  auto capture = wayland::WaylandCapture::Start(error);
  if (!capture) return nullptr;
  return std::make_unique<WaylandDesktop>(std::move(capture));
#else
  error = "这个版本编译时没有 Wayland 录制（缺少 PipeWire 或 Qt DBus）；请在 X11 会话中使用。";
  return nullptr;
#endif
}

}  // namespace orvamy::qt
