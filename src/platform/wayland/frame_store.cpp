#include "platform/wayland/frame_store.h"

#include <algorithm>
#include <cmath>

namespace orvamy::wayland {
namespace {

bool Contains(ScreenRect rect, ScreenPoint point) {
  return point.x >= rect.left && point.y >= rect.top && point.x - rect.left < rect.width &&
         point.y - rect.top < rect.height;
}

// Physical pixels per logical pixel along one axis; 1 until the size is known.
double Scale(std::int32_t physical, std::int32_t logical) {
  if (physical <= 0 || logical <= 0) return 1.0;
  return static_cast<double>(physical) / static_cast<double>(logical);
}

// The first physical column (or row) of a span of `length` pixels starting at
// logical `start`, on a monitor starting at `origin`. The span's middle pixel
// (index length / 2, where the recorder puts the pointer) lands on the
// physical pixel under that logical point, so the pointer stays centred at
// any scale.
std::int64_t PhysicalStart(std::int32_t start, std::int32_t length, std::int32_t origin,
                           double scale) {
  const std::int64_t middle = static_cast<std::int64_t>(start) + length / 2 - origin;
  return static_cast<std::int64_t>(std::floor(static_cast<double>(middle) * scale)) - length / 2;
}

}  // namespace

FrameStore::FrameStore(std::vector<ScreenRect> monitors) {
  monitors_.reserve(monitors.size());
  for (const ScreenRect& rect : monitors) {
    Monitor monitor;
    monitor.logical = rect;
    monitors_.push_back(std::move(monitor));
  }
}

void FrameStore::MovePointer(Monitor& monitor, const CursorMeta& cursor, std::uint64_t serial) {
  // Id 0 says the buffer carries no cursor data: the pointer stays where it was.
  if (cursor.id == 0) return;
  const bool on_monitor = cursor.x >= 0 && cursor.y >= 0 && cursor.x < monitor.pixel_width &&
                          cursor.y < monitor.pixel_height;
  if (!on_monitor) {
    // The compositor reports a pointer beside this monitor: it is on another.
    monitor.pointer.reset();
    return;
  }
  const double sx = Scale(monitor.pixel_width, monitor.logical.width);
  const double sy = Scale(monitor.pixel_height, monitor.logical.height);
  monitor.pointer =
      ScreenPoint{monitor.logical.left + static_cast<std::int32_t>(std::floor(cursor.x / sx)),
                  monitor.logical.top + static_cast<std::int32_t>(std::floor(cursor.y / sy))};
  monitor.pointer_serial = serial;
}

void FrameStore::Accept(std::size_t monitor, const StreamBuffer& buffer) {
  std::lock_guard lock(mutex_);
  if (monitor >= monitors_.size()) return;
  Monitor& target = monitors_[monitor];
  if (buffer.width > 0 && buffer.height > 0) {
    target.pixel_width = buffer.width;
    target.pixel_height = buffer.height;
  }
  bool got_picture = false;
  if (!buffer.pixels.empty()) {
    got_picture = ConvertRows(buffer.layout, buffer.pixels, buffer.stride, target.pixel_width,
                              target.pixel_height, target.pixels);
    if (got_picture) {
      target.picture_width = target.pixel_width;
      target.picture_height = target.pixel_height;
    }
  }
  if (buffer.cursor) MovePointer(target, *buffer.cursor, ++serial_);
  if (got_picture) picture_arrived_.notify_all();
}

void FrameStore::EndStream(std::size_t monitor) {
  std::lock_guard lock(mutex_);
  if (monitor < monitors_.size()) monitors_[monitor].ended = true;
}

bool FrameStore::AllStreamsEnded() const {
  std::lock_guard lock(mutex_);
  return !monitors_.empty() && std::all_of(monitors_.begin(), monitors_.end(),
                                           [](const Monitor& monitor) { return monitor.ended; });
}

std::optional<ScreenPoint> FrameStore::PointerLocked() const {
  const Monitor* latest = nullptr;
  for (const Monitor& monitor : monitors_) {
    if (monitor.pointer && (latest == nullptr || monitor.pointer_serial > latest->pointer_serial)) {
      latest = &monitor;
    }
  }
  if (latest == nullptr) return std::nullopt;
  return latest->pointer;
}

std::optional<ScreenPoint> FrameStore::Pointer() const {
  std::lock_guard lock(mutex_);
  return PointerLocked();
}

const FrameStore::Monitor* FrameStore::ChooseMonitorLocked(ScreenRect rect) const {
  if (monitors_.empty()) return nullptr;
  if (const std::optional<ScreenPoint> pointer = PointerLocked()) {
    for (const Monitor& monitor : monitors_) {
      if (Contains(monitor.logical, *pointer)) return &monitor;
    }
  }
  const ScreenPoint centre{rect.left + rect.width / 2, rect.top + rect.height / 2};
  for (const Monitor& monitor : monitors_) {
    if (Contains(monitor.logical, centre)) return &monitor;
  }
  return &monitors_.front();
}

bool FrameStore::CopyRect(ScreenRect rect, Picture& out) const {
  if (rect.width <= 0 || rect.height <= 0) return false;
  std::lock_guard lock(mutex_);
  const Monitor* monitor = ChooseMonitorLocked(rect);
  if (monitor == nullptr || MonitorsWithPicturesLocked() == 0) return false;

  const std::int32_t picture_width = monitor->picture_width;
  const std::int32_t picture_height = monitor->picture_height;
  const std::int64_t left = PhysicalStart(rect.left, rect.width, monitor->logical.left,
                                          Scale(picture_width, monitor->logical.width));
  const std::int64_t top = PhysicalStart(rect.top, rect.height, monitor->logical.top,
                                         Scale(picture_height, monitor->logical.height));
  out.width = rect.width;
  out.height = rect.height;
  out.pixels.assign(static_cast<std::size_t>(rect.width) * static_cast<std::size_t>(rect.height),
                    0);

  // The columns of the rectangle that fall on the monitor's picture (none
  // before its first).
  const std::int64_t first_x = std::max<std::int64_t>(0, -left);
  const std::int64_t end_x = std::min<std::int64_t>(rect.width, picture_width - left);
  if (first_x >= end_x) return true;
  const auto source_width = static_cast<std::size_t>(picture_width);
  for (std::int64_t y = 0; y < rect.height; ++y) {
    const std::int64_t source_y = top + y;
    if (source_y < 0 || source_y >= picture_height) continue;
    const std::uint32_t* source = monitor->pixels.data() +
                                  static_cast<std::size_t>(source_y) * source_width +
                                  static_cast<std::size_t>(left + first_x);
    std::uint32_t* target = out.pixels.data() +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(rect.width) +
                            static_cast<std::size_t>(first_x);
    std::copy_n(source, static_cast<std::size_t>(end_x - first_x), target);
  }
  return true;
}

std::size_t FrameStore::MonitorsWithPicturesLocked() const {
  return static_cast<std::size_t>(
      std::count_if(monitors_.begin(), monitors_.end(),
                    [](const Monitor& monitor) { return !monitor.pixels.empty(); }));
}

bool FrameStore::WaitForPictures(std::size_t monitors, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return picture_arrived_.wait_for(
      lock, timeout, [this, monitors] { return MonitorsWithPicturesLocked() >= monitors; });
}

}  // namespace orvamy::wayland
