// Prints the time of one capture, and of one capture + composition, for a
// 350 x 250 and a 1920 x 1080 rectangle on the current X display.
// Usage: orvamy-x11-capture-bench [frames]   (run on a 1920 x 1080 or larger screen)

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/controls_model.h"
#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "platform/x11/x11_screen.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const int frames = argc > 1 ? std::atoi(argv[1]) : 200;
  orvamy::x11::X11Screen screen;
  if (!screen.ok()) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  std::printf("shared memory: %s\n", screen.UsesSharedMemory() ? "yes" : "no");
  struct Size {
    int w, h;
  };
  for (const Size size : {Size{350, 250}, Size{1920, 1080}}) {
    auto start = Clock::now();
    std::size_t bytes = 0;
    for (int i = 0; i < frames; ++i) bytes += screen.CaptureScreenRect(0, 0, size.w, size.h).size();
    const double capture_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;

    orvamy::ControlsModel boxes;
    boxes.SetWidthText(std::to_string(size.w));
    boxes.SetHeightText(std::to_string(size.h));
    boxes.SetMarkerTicked(true);
    orvamy::PointerPosition position;
    orvamy::FrameCanvas canvas;
    orvamy::FrameSources sources{screen, screen, boxes, position, canvas};
    start = Clock::now();
    for (int i = 0; i < frames; ++i) bytes += orvamy::ComposeFrame(sources).size();
    const double compose_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;
    std::printf("%4dx%-4d  capture %.3f ms/frame  capture+compose %.3f ms/frame  (%zu bytes)\n",
                size.w, size.h, capture_ms, compose_ms, bytes);
  }
  return 0;
}
