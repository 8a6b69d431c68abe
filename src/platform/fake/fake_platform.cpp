#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "capture/bmp.h"

namespace orvamy::fake {

SyntheticScreen::SyntheticScreen(std::int32_t width, std::int32_t height, int bits_per_pixel)
    : width_(width), height_(height), bits_per_pixel_(bits_per_pixel) {}

std::uint32_t SyntheticScreen::Colour(std::int32_t x, std::int32_t y) {
  // Distinct, position-dependent colours, never black.
  const auto r = static_cast<std::uint32_t>((x * 7 + 1) & 0xFF);
  const auto g = static_cast<std::uint32_t>((y * 5 + 2) & 0xFF);
  const auto b = static_cast<std::uint32_t>(((x + y) * 3 + 3) & 0xFF) | 1u;
  return (r << 16) | (g << 8) | b;
}

ByteArray SyntheticScreen::CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                             std::int32_t height) {
  ByteArray image;
  CaptureScreenRectInto(image, x, y, width, height);
  return image;
}

bool SyntheticScreen::CaptureScreenRectInto(ByteArray& image, std::int32_t x, std::int32_t y,
                                            std::int32_t width, std::int32_t height) {
  {
    std::lock_guard lock(mutex_);
    requested_.push_back({x, y, width, height});
    if (fail_) {
      image.clear();
      return false;
    }
  }
  const auto layout = ComputeBmpLayout(width, height, bits_per_pixel_);
  if (!layout || !PrepareBmpFileImage(image, *layout)) {
    image.clear();
    return false;
  }
  const std::size_t step = static_cast<std::size_t>(bits_per_pixel_) / 8;
  const std::size_t pixel_bytes = static_cast<std::size_t>(width) * step;
  for (std::int32_t row = 0; row < height; ++row) {
    std::uint8_t* const start = image.data() + kBmpPixelOffset +
                                static_cast<std::size_t>(height - 1 - row) * layout->row_bytes;
    std::uint8_t* out = start;
    for (std::int32_t col = 0; col < width; ++col, out += step) {
      const std::int32_t sx = x + col;
      const std::int32_t sy = y + row;
      const bool inside = sx >= 0 && sy >= 0 && sx < width_ && sy < height_;
      const std::uint32_t c = inside ? Colour(sx, sy) : 0;
      out[0] = static_cast<std::uint8_t>(c);
      out[1] = static_cast<std::uint8_t>(c >> 8);
      out[2] = static_cast<std::uint8_t>(c >> 16);
      if (step == 4) out[3] = 0;
    }
    std::memset(start + pixel_bytes, 0, layout->row_bytes - pixel_bytes);
  }
  return true;
}

void SyntheticScreen::FailCaptures(bool fail) {
  std::lock_guard lock(mutex_);
  fail_ = fail;
}

int SyntheticScreen::captures() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(requested_.size());
}

std::vector<ScreenRect> SyntheticScreen::requested() const {
  std::lock_guard lock(mutex_);
  return requested_;
}

void ScriptedPointer::MoveTo(ScreenPoint p) {
  std::lock_guard lock(mutex_);
  position_ = p;
}

void ScriptedPointer::FailQueries(bool fail) {
  std::lock_guard lock(mutex_);
  fail_ = fail;
}

std::optional<ScreenPoint> ScriptedPointer::QueryPointer() {
  std::lock_guard lock(mutex_);
  if (fail_) return std::nullopt;
  return position_;
}

Clock::TimePoint ManualClock::Now() {
  std::lock_guard lock(mutex_);
  return now_;
}

void ManualClock::SleepUntil(TimePoint deadline, const StopSignal& wake) {
  {
    std::unique_lock lock(mutex_);
    sleeps_.push_back(deadline);
    if (hold_) {
      // The stop signal cannot wake this condition variable: look at it
      // every millisecond (a timed wait, never a spin).
      while (!advanced_.wait_for(lock, std::chrono::milliseconds(1),
                                 [&] { return !hold_ || now_ >= deadline; })) {
        if (wake.Requested()) break;
      }
    } else {
      now_ = std::max(now_, deadline);
    }
  }
  std::this_thread::yield();
}

void ManualClock::Advance(std::chrono::microseconds step) {
  std::lock_guard lock(mutex_);
  now_ += step;
  advanced_.notify_all();
}

void ManualClock::HoldSleeps(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
  advanced_.notify_all();
}

std::vector<Clock::TimePoint> ManualClock::sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

void RecordingView::SetCaption(std::string text) {
  {
    std::lock_guard lock(mutex_);
    captions_.push_back(text);
  }
  if (on_caption) on_caption(text);
}

void RecordingView::SetRecordEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    record_enabled_.push_back(enabled);
  }
  if (on_record_enabled) on_record_enabled(enabled);
}

std::vector<std::string> RecordingView::captions() const {
  std::lock_guard lock(mutex_);
  return captions_;
}

std::vector<bool> RecordingView::record_enabled() const {
  std::lock_guard lock(mutex_);
  return record_enabled_;
}

void RecordingMessages::ShowMessage(std::string_view text, std::string_view title) {
  std::unique_lock lock(mutex_);
  shown_.push_back({std::string(text), std::string(title)});
  changed_.notify_all();
  const std::uint64_t seen = releases_;
  changed_.wait(lock, [&] { return !hold_ || releases_ != seen; });
}

void RecordingMessages::DismissAll() { Release(); }

void RecordingMessages::HoldOpen(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
  changed_.notify_all();
}

void RecordingMessages::Release() {
  std::lock_guard lock(mutex_);
  ++releases_;
  changed_.notify_all();
}

std::vector<RecordingMessages::Shown> RecordingMessages::shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

bool RecordingMessages::WaitForShown(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return shown_.size() >= count; });
}

bool ScriptedClipboard::CopyGifAsHtml(const std::string& path) {
  std::lock_guard lock(mutex_);
  calls_.push_back("html:" + path);
  return html_result;
}

bool ScriptedClipboard::CopyGifForQQ(const std::string& path) {
  std::lock_guard lock(mutex_);
  calls_.push_back("qq:" + path);
  return qq_result;
}

std::vector<std::string> ScriptedClipboard::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::int32_t ScriptedHotkeys::RegisterGlobalHotkey(Modifiers modifiers, Key key) {
  registered.emplace_back(modifiers, key);
  if (std::find(refused_keys.begin(), refused_keys.end(), key) != refused_keys.end()) {
    return 0;
  }
  return next_id_++;
}

}  // namespace orvamy::fake
