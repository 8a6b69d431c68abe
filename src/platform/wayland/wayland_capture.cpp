#include "platform/wayland/wayland_capture.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/wayland/frame_store.h"
#include "platform/wayland/pipewire_capture.h"
#include "platform/wayland/portal_screencast.h"
#include "platform/wayland/restore_token.h"
#include "platform/wayland/wayland_messages.h"
#include "platform/wayland/wayland_screen.h"

namespace orvamy::wayland {
namespace {

// The compositor sends a picture when something on a monitor changes, and
// mostly one as the stream starts. A monitor on which nothing changes may send
// none for a while (headless Mutter does so), so we wait a little for every
// monitor and then go on with those that sent one; only when none did must
// the user hear why.
constexpr std::chrono::milliseconds kEveryPictureWait{3000};
constexpr std::chrono::milliseconds kFirstPictureTimeout{10000};
constexpr std::chrono::milliseconds kEventSlice{20};

// Waits for `monitors` pictures until `deadline`, running the event loop
// meanwhile: our own windows must still draw (their drawing may be the very
// change that makes the compositor send a picture).
bool AwaitPictures(const FrameStore& store, std::size_t monitors,
                   std::chrono::steady_clock::time_point deadline) {
  while (!store.WaitForPictures(monitors, kEventSlice)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(kEventSlice.count()));
  }
  return true;
}

std::vector<ScreenRect> PlacesOf(const std::vector<PortalStream>& streams) {
  std::vector<ScreenRect> places;
  places.reserve(streams.size());
  for (const PortalStream& stream : streams) places.push_back(stream.logical);
  return places;
}

}  // namespace

// Destroyed bottom-up: the streams stop before the store they feed and the
// session they come from go.
struct WaylandCapture::Parts {
  std::unique_ptr<ScreenCastPortal> portal;
  std::unique_ptr<FrameStore> store;
  std::unique_ptr<WaylandScreen> screen;
  std::unique_ptr<PipeWireCapture> streams;
};

WaylandCapture::WaylandCapture(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

WaylandCapture::~WaylandCapture() = default;

std::unique_ptr<WaylandCapture> WaylandCapture::Start(std::string& error) {
  PortalOptions options;
  options.restore_token_path =
      RestoreTokenPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  auto parts = std::make_unique<Parts>();
  parts->portal = ScreenCastPortal::Open(options, error);
  if (!parts->portal) return nullptr;
  const std::vector<PortalStream>& streams = parts->portal->streams();
  parts->store = std::make_unique<FrameStore>(PlacesOf(streams));
  parts->screen = std::make_unique<WaylandScreen>(*parts->store, parts->portal->pointer_metadata());
  parts->streams =
      PipeWireCapture::Start(parts->portal->TakePipeWireFd(), streams, *parts->store, error);
  if (!parts->streams) return nullptr;
  const FrameStore& store = *parts->store;
  const auto started = std::chrono::steady_clock::now();
  if (!AwaitPictures(store, store.MonitorCount(), started + kEveryPictureWait) &&
      !AwaitPictures(store, 1, started + kFirstPictureTimeout)) {
    error = kNoPictureMessage;
    return nullptr;
  }
  return std::make_unique<WaylandCapture>(std::move(parts));
}

ScreenSource& WaylandCapture::screen() {
  return *parts_->screen;
}

PointerSource& WaylandCapture::pointer() {
  return *parts_->screen;
}

bool WaylandCapture::SharingEnded() const {
  return parts_->portal->ClosedByDesktop() || parts_->store->AllStreamsEnded();
}

bool WaylandCapture::FollowsPointer() const {
  return parts_->portal->pointer_metadata();
}

}  // namespace orvamy::wayland
