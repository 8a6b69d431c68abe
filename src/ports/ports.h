#pragma once
// The few things the portable core needs from an operating system. Back ends
// (platform/win32, platform/qt + platform/x11, platform/fake for tests)
// implement these; the core calls them and never includes an OS header.
// OS handles and toolkit types never appear here.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_array.h"
#include "base/stop_signal.h"

namespace orvamy {

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct ScreenRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The parameter boxes and the marker box as the recorder and the preview read
// them. Thread-safe: each read returns one whole value, as if it read the
// control itself (the UI thread keeps a mirror up to date, app/controls_model.h).
class ParameterBoxes {
 public:
  virtual ~ParameterBoxes() = default;
  virtual std::string WidthText() const = 0;
  virtual std::string HeightText() const = 0;
  virtual std::string RateText() const = 0;
  virtual bool MarkerTicked() const = 0;
};

// Reads the screen. Thread-safe: called on the recorder thread.
class ScreenSource {
 public:
  virtual ~ScreenSource() = default;
  // The rectangle as a complete BMP file image at the screen's depth (see
  // capture/bmp.h, BuildCaptureFileImage), or empty when it cannot be read.
  // Pixels outside the screen are black.
  virtual ByteArray CaptureScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                      std::int32_t height) = 0;
  // The same into `image`, whose memory is reused from one frame to the next;
  // false (and `image` empty) when the rectangle cannot be read. Back ends
  // override it to spare a large allocation per frame; this one just calls
  // CaptureScreenRect.
  virtual bool CaptureScreenRectInto(ByteArray& image, std::int32_t x, std::int32_t y,
                                     std::int32_t width, std::int32_t height) {
    image = CaptureScreenRect(x, y, width, height);
    return !image.empty();
  }
};

// Where the mouse pointer is. Thread-safe.
class PointerSource {
 public:
  virtual ~PointerSource() = default;
  // nullopt when the position cannot be queried.
  virtual std::optional<ScreenPoint> QueryPointer() = 0;
};

// Steady time and waiting. Thread-safe.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;
  // Returns at `deadline`, or at once when a stop is requested on `wake` (a
  // stop must not wait out a whole frame interval).
  virtual void SleepUntil(TimePoint deadline, const StopSignal& wake) = 0;
};

// Local wall-clock time broken down, in whole seconds.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class LocalTimeSource {
 public:
  virtual ~LocalTimeSource() = default;
  virtual LocalTime NowLocal() = 0;
};

// The window as the recorder changes it. Thread-safe: back ends post the
// change to the UI thread, in call order.
class RecorderView {
 public:
  virtual ~RecorderView() = default;
  virtual void SetCaption(std::string text) = 0;
  virtual void SetRecordEnabled(bool enabled) = 0;
};

// Message boxes: the text, one OK button, no icon. Thread-safe.
class MessagePort {
 public:
  virtual ~MessagePort() = default;
  // Shows the box and returns when the user dismissed it. Called on the
  // recorder thread the main window stays usable; on the UI thread it is modal.
  virtual void ShowMessage(std::string_view text, std::string_view title) = 0;
  // Closes every box still open so that threads waiting in ShowMessage return
  // (used when the program ends).
  virtual void DismissAll() = 0;
};

// Puts a saved GIF on the clipboard. Called on the recorder thread.
class ClipboardExporter {
 public:
  virtual ~ClipboardExporter() = default;
  // The HTML route (a one-image document plus the platform's richer forms).
  virtual bool CopyGifAsHtml(const std::string& path) = 0;
  // The "QQ_RichEdit_Format" route.
  virtual bool CopyGifForQQ(const std::string& path) = 0;
};

// The keys the core asks for. Each back end maps them to its own key codes.
enum class Key { kF7, kF8 };

// Modifier keys held down, as a set.
enum class Modifiers : unsigned { kNone = 0, kCtrl = 1, kShift = 2, kAlt = 4 };
constexpr Modifiers operator|(Modifiers a, Modifiers b) {
  return static_cast<Modifiers>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
// Whether every modifier of `wanted` is in `held`.
constexpr bool Has(Modifiers held, Modifiers wanted) {
  return (static_cast<unsigned>(held) & static_cast<unsigned>(wanted)) ==
         static_cast<unsigned>(wanted);
}

// System-wide hot keys. Called on the UI thread only.
class HotkeyRegistrar {
 public:
  virtual ~HotkeyRegistrar() = default;
  // Registers a key with exactly the given modifiers and returns its
  // identifier (never 0), or 0 when the system refuses it.
  virtual std::int32_t RegisterGlobalHotkey(Modifiers modifiers, Key key) = 0;
};

// The preview frame window. Called on the UI thread only.
class PreviewWindowPort {
 public:
  virtual ~PreviewWindowPort() = default;
  virtual void Open() = 0;
  virtual void Close() = 0;
  // 0 transparent .. 255 opaque; the window is always click-through.
  virtual void SetOpacity(int alpha) = 0;
  // Frames exactly this capture rectangle; nullopt hides the frame.
  virtual void Place(std::optional<ScreenRect> capture_rect) = 0;
};

// A repeating timer on the UI thread; period 0 stops it.
class TimerPort {
 public:
  virtual ~TimerPort() = default;
  virtual void SetPeriod(int milliseconds) = 0;
};

// The main window as the UI-thread handlers change it. Called on the UI thread only.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void SetWidthText(const std::string& text) = 0;
  virtual void SetHeightText(const std::string& text) = 0;
  virtual void SetAlwaysOnTop(bool on_top) = 0;
  virtual void SetPreviewTicked(bool ticked) = 0;
};

}  // namespace orvamy
