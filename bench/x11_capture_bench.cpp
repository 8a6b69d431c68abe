// Prints the time of one capture, and of one capture + composition, for a
// 350 x 250 and a 1920 x 1080 rectangle on the current X display: the mean and
// the median per frame (the median is steadier on a machine shared with other work).
// Usage: orvamy-x11-capture-bench [frames]   (run on a 1920 x 1080 or larger screen)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "app/controls_model.h"
#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "platform/x11/x11_screen.h"

namespace {

struct Figures {
  double mean_ms = 0;
  double median_ms = 0;
};

// Runs `frame` `count` times and times each run.
template <typename Frame>
Figures Time(int count, Frame frame) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> ms;
  ms.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    frame();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  Figures f;
  f.mean_ms = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
  std::nth_element(ms.begin(), ms.begin() + static_cast<std::ptrdiff_t>(ms.size() / 2), ms.end());
  f.median_ms = ms[ms.size() / 2];
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = std::max(argc > 1 ? std::atoi(argv[1]) : 200, 1);
  orvamy::x11::X11Screen screen;
  if (!screen.ok()) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  std::printf("shared memory: %s, %d frames per figure\n", screen.UsesSharedMemory() ? "yes" : "no",
              frames);
  struct Size {
    int w, h;
  };
  for (const Size size : {Size{350, 250}, Size{1920, 1080}}) {
    std::size_t bytes = 0;
    orvamy::Picture picture;
    const Figures capture = Time(frames, [&] {
      screen.CapturePixelsInto(picture, {0, 0, size.w, size.h});
      bytes = picture.pixels.size() * sizeof(std::uint32_t);
    });

    orvamy::ControlsModel boxes;
    boxes.SetWidthText(std::to_string(size.w));
    boxes.SetHeightText(std::to_string(size.h));
    boxes.SetMarkerTicked(true);
    orvamy::PointerPosition position;
    orvamy::FrameCanvas canvas;
    orvamy::FrameSources sources{screen, screen, boxes, position, canvas};
    // Through FrameComposer, as the recorder composes frames.
    orvamy::FrameComposer composer(sources);
    const Figures compose = Time(frames, [&] {
      const orvamy::PixelView frame = composer.Compose(orvamy::ReadCaptureSettings(boxes));
      bytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) *
              sizeof(std::uint32_t);
    });
    std::printf(
        "%4dx%-4d  capture mean %.3f median %.3f ms  capture+compose mean %.3f median %.3f ms"
        "  (%zu bytes per frame)\n",
        size.w, size.h, capture.mean_ms, capture.median_ms, compose.mean_ms, compose.median_ms,
        bytes);
  }
  return 0;
}
