// The Wayland end-to-end test's probe. It fills each monitor with a picture
// whose every pixel names its own desktop position, starts the Wayland
// capture as the program does (portal, PipeWire), moves the pointer along a
// path through the test portal, and checks each rectangle captured around
// the pointer pixel by pixel: centred on the pointer, taken from the monitor
// under it, black where it leaves that monitor.
//
//   wayland_capture_probe            follow the pointer (cursor metadata)
//   wayland_capture_probe --fixed    the desktop shares no pointer position
//   wayland_capture_probe --shortcuts  F7/F8 through the GlobalShortcuts portal
//   wayland_capture_probe --show     a picture of few colours for the real
//                                    program to record (see RunShow)
//
// Prints one line per check and "probe: N passed, M failed"; exit 0 when all pass.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/bmp.h"
#include "platform/wayland/portal_shortcuts.h"
#include "platform/wayland/wayland_capture.h"

namespace {

using orvamy::ScreenPoint;

constexpr int kRectWidth = 121;
constexpr int kRectHeight = 81;

// Unique for every pixel of a desktop up to 4096 pixels wide and high;
// (0, 0) happens to be black.
std::uint32_t PatternAt(int x, int y) {
  return (static_cast<std::uint32_t>(x & 0xff) << 16) |
         (static_cast<std::uint32_t>(y & 0xff) << 8) |
         static_cast<std::uint32_t>(((x >> 8) & 0xf) | (((y >> 8) & 0xf) << 4));
}

// Colours that a GIF keeps exactly (fewer than 256 with black and the
// marker), none of them bluish like the marker. Each 16 x 16 cell of physical
// pixels has its own colour, checkered in 4 x 4 sub-cells, so a rectangle
// shifted by any number of pixels shows other colours. The test's
// test_program.py computes the same picture.
std::uint32_t FewColoursAt(int x, int y) {
  static const std::vector<std::uint32_t> palette = [] {
    std::vector<std::uint32_t> colours;
    for (int r = 0; r < 6; ++r) {
      for (int g = 0; g < 6; ++g) {
        for (int b = 0; b < 6; ++b) {
          const bool bluish = b >= 4 && r <= 1 && g <= 1;
          if (bluish || (r == 0 && g == 0 && b == 0)) continue;
          colours.push_back(static_cast<std::uint32_t>((r * 51) << 16 | (g * 51) << 8 | b * 51));
        }
      }
    }
    return colours;
  }();
  const int index = (x / 16 * 7 + y / 16 * 31 + ((x / 4 + y / 4) % 2) * 100) %
                    static_cast<int>(palette.size());
  return palette[static_cast<std::size_t>(index)];
}

// Fills the monitor it is shown on with a picture, one value per physical
// pixel (on a scaled monitor too): by default the pattern, else `colour_at`
// of the physical pixel counted from the monitor's logical origin. The
// compositor, not we, decides which monitor that is: the picture follows the
// monitor the window is on.
class PatternWindow final : public QRasterWindow {
 public:
  explicit PatternWindow(std::uint32_t (*colour_at)(int, int) = PatternAt)
      : colour_at_(colour_at) {
    QObject::connect(this, &QWindow::screenChanged, this, [this] { update(); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const QPoint origin = screen()->geometry().topLeft();
    const qreal ratio = devicePixelRatio();
    QImage image(size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        row[x] = 0xff000000u | colour_at_(origin.x() + x, origin.y() + y);
      }
    }
    QPainter(this).drawImage(0, 0, image);
  }

 private:
  std::uint32_t (*colour_at_)(int, int);
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

std::string Name(ScreenPoint point) {
  return "(" + std::to_string(point.x) + "," + std::to_string(point.y) + ")";
}

struct Monitor {
  QRect logical;  // desktop coordinates
  int scale = 1;  // physical pixels per logical pixel

  bool Contains(ScreenPoint point) const { return logical.contains(point.x, point.y); }
};

// The monitors as Qt sees them.
std::vector<Monitor> Monitors() {
  std::vector<Monitor> monitors;
  for (const QScreen* screen : QGuiApplication::screens()) {
    monitors.push_back({screen->geometry(), static_cast<int>(screen->devicePixelRatio())});
  }
  return monitors;
}

// Compares the rectangle whose middle pixel is `middle` with the pattern of
// `monitor`, black off it; empty when it matches, else the first difference.
// On a scaled monitor the middle pixel is the physical pixel under `middle`
// and the rest are its physical neighbours.
std::string CompareRect(orvamy::ScreenSource& screen, ScreenPoint middle, const Monitor& monitor,
                        std::uint32_t (*colour_at)(int, int) = PatternAt) {
  const orvamy::ByteArray image = screen.CaptureScreenRect(
      middle.x - kRectWidth / 2, middle.y - kRectHeight / 2, kRectWidth, kRectHeight);
  const std::optional<orvamy::Picture> picture = orvamy::DecodeBmp(image);
  if (!picture) return "no picture";
  if (picture->width != kRectWidth || picture->height != kRectHeight) return "wrong size";
  const QPoint origin = monitor.logical.topLeft();
  const int left = (middle.x - origin.x()) * monitor.scale - kRectWidth / 2;
  const int top = (middle.y - origin.y()) * monitor.scale - kRectHeight / 2;
  const QRect physical(0, 0, monitor.logical.width() * monitor.scale,
                       monitor.logical.height() * monitor.scale);
  for (int y = 0; y < kRectHeight; ++y) {
    for (int x = 0; x < kRectWidth; ++x) {
      const int px = left + x;
      const int py = top + y;
      const std::uint32_t expected =
          physical.contains(px, py) ? colour_at(origin.x() + px, origin.y() + py) : 0;
      const std::uint32_t got = picture->At(x, y);
      if (got != expected) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "physical pixel (%d,%d) of the monitor at %d,%d is %06x, expected %06x", px,
                      py, origin.x(), origin.y(), got, expected);
        return text;
      }
    }
  }
  return {};
}

// Waits (bounded) for the rectangle to match: the pattern windows may be
// drawn after the capture started, and a window's change to full screen may
// take the compositor a while on a loaded machine.
std::string AwaitRect(orvamy::ScreenSource& screen, ScreenPoint middle, const Monitor& monitor,
                      std::uint32_t (*colour_at)(int, int) = PatternAt) {
  std::string difference;
  WaitFor(
      [&] {
        difference = CompareRect(screen, middle, monitor, colour_at);
        return difference.empty();
      },
      15);
  return difference;
}

// Every monitor's corners and edge middles, where the rectangle leaves the
// monitor, its centre, a point beside the seam on each side, and single steps.
std::vector<ScreenPoint> PathOver(const std::vector<Monitor>& monitors) {
  std::vector<ScreenPoint> path;
  for (const Monitor& monitor : monitors) {
    const QRect& m = monitor.logical;
    const int cx = m.center().x();
    const int cy = m.center().y();
    for (const ScreenPoint point : std::vector<ScreenPoint>{{cx, cy},
                                                            {m.left(), m.top()},
                                                            {m.right(), m.top()},
                                                            {m.right(), m.bottom()},
                                                            {m.left(), m.bottom()},
                                                            {cx, m.top()},
                                                            {m.right(), cy},
                                                            {cx, m.bottom()},
                                                            {m.left(), cy},
                                                            {m.left() + 3, cy},
                                                            {cx + 1, cy + 1}}) {
      path.push_back(point);
    }
  }
  return path;
}

// Waits until the capture reports the pointer at `point`, where it was just
// moved. A single jump's cursor update is now and then never sent (headless
// Mutter 43 on a loaded machine); a hand keeps moving the pointer, so this
// nudges it by a pixel and back each second until it shows; `nudged` says
// whether it did.
bool AwaitPointer(orvamy::wayland::WaylandCapture& capture, ScreenPoint point,
                  bool* nudged = nullptr) {
  QElapsedTimer since_nudge;
  since_nudge.start();
  return WaitFor(
      [&] {
        if (capture.pointer().QueryPointer() == std::optional(point)) return true;
        if (since_nudge.elapsed() > 1000) {
          if (nudged != nullptr) *nudged = true;
          MovePointer({point.x == 0 ? 1 : point.x - 1, point.y});
          MovePointer(point);
          since_nudge.restart();
        }
        return false;
      },
      10);
}

void FollowPath(orvamy::wayland::WaylandCapture& capture, Tally& tally) {
  tally.Check(capture.FollowsPointer(), "the desktop shares the pointer position");
  const std::vector<Monitor> monitors = Monitors();
  for (const Monitor& monitor : monitors) {
    std::printf("probe: a monitor at %d,%d, %dx%d logical pixels, scale %d\n", monitor.logical.x(),
                monitor.logical.y(), monitor.logical.width(), monitor.logical.height(),
                monitor.scale);
  }
  for (const ScreenPoint point : PathOver(monitors)) {
    const Monitor& monitor = *std::find_if(monitors.begin(), monitors.end(),
                                           [&](const Monitor& m) { return m.Contains(point); });
    if (!MovePointer(point)) {
      tally.Check(false, "move to " + Name(point));
      continue;
    }
    const bool arrived = AwaitPointer(capture, point);
    const std::optional<ScreenPoint> seen = capture.pointer().QueryPointer();
    tally.Check(arrived, "pointer reported at " + Name(point) +
                             (seen ? " (last seen " + Name(*seen) + ")" : " (none seen)"));
    const std::string difference = AwaitRect(capture.screen(), point, monitor);
    tally.Check(difference.empty(), "rectangle centred on " + Name(point) +
                                        (difference.empty() ? "" : ": " + difference));
  }
}

void CheckFixed(orvamy::wayland::WaylandCapture& capture, Tally& tally) {
  tally.Check(!capture.FollowsPointer(), "no pointer position where the desktop shares none");
  tally.Check(!capture.pointer().QueryPointer().has_value(), "QueryPointer answers nothing");
  // Without a pointer the rectangle's middle chooses the monitor.
  for (const Monitor& monitor : Monitors()) {
    const QRect& m = monitor.logical;
    const ScreenPoint middle{m.center().x(), m.center().y()};
    const std::string difference = AwaitRect(capture.screen(), middle, monitor);
    tally.Check(difference.empty(), "a fixed rectangle in the middle of the monitor at " +
                                        Name({m.left(), m.top()}) +
                                        (difference.empty() ? "" : ": " + difference));
  }
}

bool PressShortcut(const char* id) {
  QDBusMessage press = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.impl.portal.desktop.orvamytest"),
      QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.orvamy.TestPortal"),
      QStringLiteral("PressShortcut"));
  press.setArguments({QString::fromLatin1(id)});
  return QDBusConnection::sessionBus().call(press, QDBus::Block, 10000).type() ==
         QDBusMessage::ReplyMessage;
}

int CheckShortcuts() {
  Tally tally;
  std::vector<std::string> pressed;
  std::string error;
  const auto shortcuts = orvamy::wayland::GlobalShortcutsPortal::Open(
      [&](const std::string& id) { pressed.push_back(id); }, error);
  tally.Check(shortcuts != nullptr, "bound the shortcuts " + error);
  if (!shortcuts) return 1;
  tally.Check(shortcuts->start_trigger() == "F7", "start on " + shortcuts->start_trigger());
  tally.Check(shortcuts->stop_trigger() == "F8", "stop on " + shortcuts->stop_trigger());
  const std::vector<std::string> expected = {"start", "stop", "start"};
  for (const std::string& id : expected) PressShortcut(id.c_str());
  WaitFor([&] { return pressed.size() >= expected.size(); }, 10);
  std::string seen;
  for (const std::string& id : pressed) seen += " " + id;
  tally.Check(pressed == expected, "presses delivered in order:" + seen);
  std::printf("probe: %d passed, %d failed\n", tally.passed, tally.failed);
  return tally.failed == 0 ? 0 : 1;
}

// One command of the test that drives the real program, answered on stdout:
//   point X Y            moves the pointer there; "probe: at X Y" once the
//                        capture reports it (at once without cursor
//                        metadata), "probe: lost X Y" if it never does, with
//                        " nudged" where it went by the pixel to the left;
//   shoot X Y W H FILE   saves the rectangle the program would record around
//                        (X, Y) as an image file (PNG, PPM: by the name);
//                        "probe: shot FILE" or "probe: no shot FILE".
void Answer(orvamy::wayland::WaylandCapture& capture, const std::string& line) {
  std::istringstream words(line);
  std::string command;
  words >> command;
  if (command == "point") {
    ScreenPoint point;
    words >> point.x >> point.y;
    bool nudged = false;
    const bool arrived =
        MovePointer(point) && (!capture.FollowsPointer() || AwaitPointer(capture, point, &nudged));
    std::printf("probe: %s %d %d%s\n", arrived ? "at" : "lost", point.x, point.y,
                nudged ? " nudged" : "");
  } else if (command == "shoot") {
    int x = 0, y = 0, width = 0, height = 0;
    std::string file;
    words >> x >> y >> width >> height >> file;
    const std::optional<orvamy::Picture> picture =
        orvamy::DecodeBmp(capture.screen().CaptureScreenRect(x - width / 2, y - height / 2, width, height));
    bool saved = false;
    if (picture && picture->width > 0) {
      QImage image(picture->width, picture->height, QImage::Format_RGB32);
      for (int row = 0; row < picture->height; ++row) {
        auto* target = reinterpret_cast<std::uint32_t*>(image.scanLine(row));
        for (int column = 0; column < picture->width; ++column) {
          target[column] = 0xff000000u | picture->At(column, row);
        }
      }
      saved = image.save(QString::fromStdString(file));
    }
    std::printf("probe: %s %s\n", saved ? "shot" : "no shot", file.c_str());
  } else {
    std::printf("probe: unknown command %s\n", line.c_str());
  }
  std::fflush(stdout);
}

// Keeps the few-colour picture on every monitor and answers the test's
// commands (Answer) from stdin until it closes; one command at a time (the
// test waits for each answer), so a line never waits in std::cin's buffer.
// Says "probe: showing" once the picture is on every monitor, corners
// included (a window's change to full screen may take a while).
int RunShow(orvamy::wayland::WaylandCapture& capture) {
  for (const Monitor& monitor : Monitors()) {
    const QRect& m = monitor.logical;
    const ScreenPoint centre{m.center().x(), m.center().y()};
    if (!MovePointer(centre) || (capture.FollowsPointer() && !AwaitPointer(capture, centre))) {
      std::printf("probe: the pointer did not reach %s\n", Name(centre).c_str());
      return 1;
    }
    // Corners only: where the desktop draws the pointer into the picture, it
    // is at the centre.
    for (const ScreenPoint spot : {ScreenPoint{m.right(), m.top()}, ScreenPoint{m.left(), m.bottom()},
                                   ScreenPoint{m.right(), m.bottom()}}) {
      const std::string difference = AwaitRect(capture.screen(), spot, monitor, FewColoursAt);
      if (!difference.empty()) {
        std::printf("probe: the picture at %s is not shown: %s\n", Name(spot).c_str(),
                    difference.c_str());
        return 1;
      }
    }
  }
  std::printf("probe: showing\n");
  std::fflush(stdout);
  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    input.setEnabled(false);  // Answer runs the event loop
    std::string line;
    if (!std::getline(std::cin, line)) {
      QCoreApplication::quit();
      return;
    }
    Answer(capture, line);
    input.setEnabled(true);
  });
  return QGuiApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  const bool fixed = argc > 1 && std::strcmp(argv[1], "--fixed") == 0;
  const bool show = argc > 1 && std::strcmp(argv[1], "--show") == 0;
  QGuiApplication app(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--shortcuts") == 0) return CheckShortcuts();
  // Mutter places a new window on the monitor under the pointer, and the
  // pointer can be moved only once the capture runs: the first window goes
  // where the pointer starts, each further one after the pointer moved onto
  // the next monitor.
  std::vector<std::unique_ptr<PatternWindow>> windows;
  // Shown small first: Mutter places it on the pointer's monitor, and then
  // makes it fill the monitor it is on.
  const auto show_window = [&] {
    windows.push_back(std::make_unique<PatternWindow>(show ? FewColoursAt : PatternAt));
    PatternWindow& window = *windows.back();
    window.resize(320, 240);
    window.show();
    WaitFor([&] { return window.isExposed(); }, 10);
    WaitFor([] { return false; }, 1);
    window.showFullScreen();
    WaitFor([&] { return window.isExposed() && window.size() == window.screen()->size(); }, 10);
  };
  show_window();
  std::string error;
  std::unique_ptr<orvamy::wayland::WaylandCapture> capture =
      orvamy::wayland::WaylandCapture::Start(error);
  if (!capture) {
    std::printf("probe: the capture did not start: %s\n", error.c_str());
    return 2;
  }
  const std::vector<Monitor> monitors = Monitors();
  for (std::size_t i = 1; i < monitors.size(); ++i) {
    const auto without_window =
        std::find_if(monitors.begin(), monitors.end(), [&](const Monitor& m) {
          return std::none_of(windows.begin(), windows.end(),
                              [&](const auto& w) { return w->screen()->geometry() == m.logical; });
        });
    if (without_window == monitors.end()) break;
    MovePointer({without_window->logical.center().x(), without_window->logical.center().y()});
    QThread::msleep(100);
    show_window();
  }
  for (const auto& window : windows) {
    const QRect on = window->screen()->geometry();
    std::fprintf(stderr, "probe: a pattern window on the monitor at %d,%d %dx%d\n", on.x(), on.y(),
                 on.width(), on.height());
  }
  if (show) return RunShow(*capture);
  Tally tally;
  if (fixed) {
    // The pointer is drawn into the picture here: keep it in a corner.
    MovePointer({5, 5});
    CheckFixed(*capture, tally);
  } else {
    FollowPath(*capture, tally);
  }
  std::printf("probe: %d passed, %d failed\n", tally.passed, tally.failed);
  return tally.failed == 0 ? 0 : 1;
}
