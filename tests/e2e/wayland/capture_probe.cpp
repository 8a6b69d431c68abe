// The Wayland end-to-end test's probe. It fills the screen with a picture
// whose every pixel names its own position, starts the Wayland capture as the
// program does (portal, PipeWire), moves the pointer along a path through the
// test portal, and checks each rectangle captured around the pointer pixel by
// pixel: centred on the pointer, black where it leaves the screen.
//
//   wayland_capture_probe            follow the pointer (cursor metadata)
//   wayland_capture_probe --fixed    the desktop shares no pointer position
//
// Prints one line per check and "probe: N passed, M failed"; exit 0 when all pass.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "capture/bmp.h"
#include "platform/wayland/wayland_capture.h"

namespace {

using orvamy::ScreenPoint;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;
constexpr int kRectWidth = 121;
constexpr int kRectHeight = 81;

// Unique for every pixel of the screen; (0, 0) happens to be black.
std::uint32_t PatternAt(int x, int y) {
  return (static_cast<std::uint32_t>(x & 0xff) << 16) |
         (static_cast<std::uint32_t>(y & 0xff) << 8) |
         static_cast<std::uint32_t>(((x >> 8) & 0xf) | (((y >> 8) & 0xf) << 4));
}

class PatternWindow final : public QRasterWindow {
 protected:
  void paintEvent(QPaintEvent*) override {
    QImage image(size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) row[x] = 0xff000000u | PatternAt(x, y);
    }
    QPainter(this).drawImage(0, 0, image);
  }
};

struct Tally {
  int passed = 0;
  int failed = 0;
  void Check(bool ok, const std::string& what) {
    std::printf("probe: %s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    std::fflush(stdout);
    (ok ? passed : failed) += 1;
  }
};

// Runs the event loop until `done` or about `seconds` have gone by.
bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > seconds * 1000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

bool MovePointer(ScreenPoint point) {
  QDBusMessage move = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.impl.portal.desktop.orvamytest"),
      QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.orvamy.TestPortal"),
      QStringLiteral("MovePointer"));
  move.setArguments({static_cast<double>(point.x), static_cast<double>(point.y)});
  const QDBusMessage reply = QDBusConnection::sessionBus().call(move, QDBus::Block, 10000);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    std::printf("probe: MovePointer: %s\n", reply.errorMessage().toStdString().c_str());
  }
  return reply.type() == QDBusMessage::ReplyMessage;
}

// Compares the rectangle centred on `centre` with the pattern; empty when it
// matches, else the first difference.
std::string CompareRect(orvamy::ScreenSource& screen, ScreenPoint centre) {
  const int left = centre.x - kRectWidth / 2;
  const int top = centre.y - kRectHeight / 2;
  const orvamy::ByteArray image = screen.CaptureScreenRect(left, top, kRectWidth, kRectHeight);
  const std::optional<orvamy::Picture> picture = orvamy::DecodeBmp(image);
  if (!picture) return "no picture";
  if (picture->width != kRectWidth || picture->height != kRectHeight) return "wrong size";
  for (int y = 0; y < kRectHeight; ++y) {
    for (int x = 0; x < kRectWidth; ++x) {
      const int sx = left + x;
      const int sy = top + y;
      const bool on_screen = sx >= 0 && sy >= 0 && sx < kScreenWidth && sy < kScreenHeight;
      const std::uint32_t expected = on_screen ? PatternAt(sx, sy) : 0;
      const std::uint32_t got = picture->At(x, y);
      if (got != expected) {
        char text[160];
        std::snprintf(text, sizeof text, "screen pixel (%d,%d) is %06x, expected %06x", sx, sy,
                      got, expected);
        return text;
      }
    }
  }
  return {};
}

std::string Name(ScreenPoint point) {
  return "(" + std::to_string(point.x) + "," + std::to_string(point.y) + ")";
}

void FollowPath(orvamy::wayland::WaylandCapture& capture, Tally& tally) {
  tally.Check(capture.FollowsPointer(), "the desktop shares the pointer position");
  // Inside, then every corner and edge, where the rectangle leaves the screen.
  const std::vector<ScreenPoint> path = {{640, 360}, {0, 0},    {1279, 0},   {1279, 719},
                                         {0, 719},   {640, 0},  {1279, 360}, {640, 719},
                                         {0, 360},   {300, 200}, {301, 201}, {1000, 555}};
  for (const ScreenPoint point : path) {
    if (!MovePointer(point)) {
      tally.Check(false, "move to " + Name(point));
      continue;
    }
    const bool arrived =
        WaitFor([&] { return capture.pointer().QueryPointer() == std::optional(point); }, 10);
    const std::optional<ScreenPoint> seen = capture.pointer().QueryPointer();
    tally.Check(arrived, "pointer reported at " + Name(point) +
                             (seen ? " (last seen " + Name(*seen) + ")" : " (none seen)"));
    const std::string difference = CompareRect(capture.screen(), point);
    tally.Check(difference.empty(), "rectangle centred on " + Name(point) +
                                        (difference.empty() ? "" : ": " + difference));
  }
}

void CheckFixed(orvamy::wayland::WaylandCapture& capture, Tally& tally) {
  tally.Check(!capture.FollowsPointer(), "no pointer position where the desktop shares none");
  tally.Check(!capture.pointer().QueryPointer().has_value(), "QueryPointer answers nothing");
  const std::string difference = CompareRect(capture.screen(), {640, 360});
  tally.Check(difference.empty(), "the screen centre" + (difference.empty() ? "" : ": " + difference));
}

}  // namespace

int main(int argc, char** argv) {
  const bool fixed = argc > 1 && std::strcmp(argv[1], "--fixed") == 0;
  QGuiApplication app(argc, argv);
  PatternWindow window;
  window.showFullScreen();
  WaitFor([&] { return window.isExposed(); }, 10);

  std::string error;
  std::unique_ptr<orvamy::wayland::WaylandCapture> capture =
      orvamy::wayland::WaylandCapture::Start(error);
  if (!capture) {
    std::printf("probe: the capture did not start: %s\n", error.c_str());
    return 2;
  }
  Tally tally;
  // Where the pointer is drawn into the picture it must stay out of the way.
  if (fixed) MovePointer({5, 5});
  // The window may be drawn after the first picture came.
  std::string difference;
  const bool shown = WaitFor(
      [&] {
        difference = CompareRect(capture->screen(), {700, 400});
        return difference.empty();
      },
      10);
  tally.Check(shown, "the pattern window fills the screen" + (shown ? "" : ": " + difference));
  if (fixed) {
    CheckFixed(*capture, tally);
  } else {
    FollowPath(*capture, tally);
  }
  std::printf("probe: %d passed, %d failed\n", tally.passed, tally.failed);
  return tally.failed == 0 ? 0 : 1;
}
