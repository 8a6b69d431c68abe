#pragma once
// In-memory implementations of the ports, for tests. Thread-safe where the
// port is.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ports/ports.h"

namespace orvamy::fake {

// A screen whose pixel at (x, y) is Colour(x, y); outside [0, width) x [0,
// height) it is black, as on a real screen edge.
class SyntheticScreen final : public ScreenSource {
 public:
  SyntheticScreen(std::int32_t width, std::int32_t height, int bits_per_pixel = 32);
  static std::uint32_t Colour(std::int32_t x, std::int32_t y);

  ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height) override;
  // Writes every byte of `image` (pixels, black, padding) over what it held,
  // as a back end that reuses its buffer must.
  bool CaptureScreenRectInto(ByteArray& image, std::int32_t x, std::int32_t y,
                             std::int32_t width, std::int32_t height) override;
  void FailCaptures(bool fail);
  int captures() const;
  std::vector<ScreenRect> requested() const;

 private:
  const std::int32_t width_, height_;
  const int bits_per_pixel_;
  mutable std::mutex mutex_;
  bool fail_ = false;
  std::vector<ScreenRect> requested_;
};

class ScriptedPointer final : public PointerSource {
 public:
  void MoveTo(ScreenPoint p);
  void FailQueries(bool fail);
  std::optional<ScreenPoint> QueryPointer() override;

 private:
  std::mutex mutex_;
  ScreenPoint position_;
  bool fail_ = false;
};

// Time moves only when someone sleeps: SleepUntil jumps to the deadline (and
// lets other threads run). Now() may also be advanced by hand to model work.
// With HoldSleeps(true) a sleeper waits instead until Advance reaches its
// deadline or its stop signal is set, as a real sleeper at a low rate does.
class ManualClock final : public Clock {
 public:
  TimePoint Now() override;
  void SleepUntil(TimePoint deadline, const StopSignal& wake) override;
  void Advance(std::chrono::microseconds step);
  void HoldSleeps(bool hold);
  std::vector<TimePoint> sleeps() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable advanced_;
  TimePoint now_{};
  bool hold_ = false;
  std::vector<TimePoint> sleeps_;
};

class FixedLocalTime final : public LocalTimeSource {
 public:
  explicit FixedLocalTime(LocalTime t) : time_(t) {}
  LocalTime NowLocal() override { return time_; }

 private:
  LocalTime time_;
};

class ParameterBoxesStub final : public ParameterBoxes {
 public:
  std::string width = "350", height = "250", rate = "5";
  bool marker = true;
  std::string WidthText() const override { return width; }
  std::string HeightText() const override { return height; }
  std::string RateText() const override { return rate; }
  bool MarkerTicked() const override { return marker; }
};

class RecordingView final : public RecorderView {
 public:
  // Called on the recorder thread after each change is recorded, to model
  // what the user does meanwhile.
  std::function<void(const std::string&)> on_caption;
  std::function<void(bool)> on_record_enabled;

  void SetCaption(std::string text) override;
  void SetRecordEnabled(bool enabled) override;
  std::vector<std::string> captions() const;
  std::vector<bool> record_enabled() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> captions_;
  std::vector<bool> record_enabled_;
};

// Records every box; ShowMessage returns at once unless boxes are held open,
// in which case it waits for Release() or DismissAll().
class RecordingMessages final : public MessagePort {
 public:
  struct Shown {
    std::string text, title;
  };
  void ShowMessage(std::string_view text, std::string_view title) override;
  void DismissAll() override;
  void HoldOpen(bool hold);
  void Release();
  std::vector<Shown> shown() const;
  // Blocks until `count` boxes have been shown (or the timeout passes).
  bool WaitForShown(std::size_t count, std::chrono::milliseconds timeout);

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Shown> shown_;
  bool hold_ = false;
  std::uint64_t releases_ = 0;
};

class ScriptedClipboard final : public ClipboardExporter {
 public:
  bool html_result = true;
  bool qq_result = true;
  bool CopyGifAsHtml(const std::string& path) override;
  bool CopyGifForQQ(const std::string& path) override;
  std::vector<std::string> calls() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
};

class ScriptedHotkeys final : public HotkeyRegistrar {
 public:
  std::vector<Key> refused_keys;
  std::int32_t RegisterGlobalHotkey(Modifiers modifiers, Key key) override;
  std::vector<std::pair<Modifiers, Key>> registered;

 private:
  std::int32_t next_id_ = 33001;
};

class RecordingPreviewWindow final : public PreviewWindowPort {
 public:
  void Open() override { ++opened; open = true; }
  void Close() override { open = false; }
  void SetOpacity(int alpha) override { opacities.push_back(alpha); }
  void Place(std::optional<ScreenRect> rect) override { placements.push_back(rect); }
  int opened = 0;
  bool open = false;
  std::vector<int> opacities;
  std::vector<std::optional<ScreenRect>> placements;
};

class RecordingTimer final : public TimerPort {
 public:
  void SetPeriod(int milliseconds) override { periods.push_back(milliseconds); }
  std::vector<int> periods;
};

class RecordingWindow final : public MainWindowView {
 public:
  void SetWidthText(const std::string& text) override { width_texts.push_back(text); }
  void SetHeightText(const std::string& text) override { height_texts.push_back(text); }
  void SetAlwaysOnTop(bool on_top) override { on_top_calls.push_back(on_top); }
  void SetPreviewTicked(bool ticked) override { preview_ticks.push_back(ticked); }
  std::vector<std::string> width_texts, height_texts;
  std::vector<bool> on_top_calls, preview_ticks;
};

}  // namespace orvamy::fake
