// Frame composition speed: capture a rectangle as pixels, draw them on the
// frame canvas with the pointer marker, as the recorder does once per frame.
//   FrameComposer/W/H        the recorder's composer over the synthetic screen
//                            (its capture computes every pixel, a stand-in for
//                            the server's copy); the frame is a view of the canvas
//   FrameComposer_Replay/W/H the same with a screen that hands back one stored
//                            capture, so that the figure is the core's own work
//   RecorderFrame/W/H        the composer plus the encoder's one copy of the
//                            frame (what GifEncoder::Add does on the recorder
//                            thread; the frame thread then takes that copy over
//                            without touching its pixels)
//   RecorderFrame_Replay/W/H the same over the stored capture
//   ComposeFrame/W/H         ComposeFrame: fresh buffers and a copy of the frame
//                            per call (tests and one-off callers)
// Counters: frame_bytes, the frame's pixels; bytes_touched, what the path
// reads and writes per frame after the capture (capture writes not counted).
// Run: build/linux/bench/compose_bench

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/pixels.h"
#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "platform/fake/fake_platform.h"

namespace {

using orvamy::Picture;
using orvamy::PixelView;

// Serves one stored capture for every request: the cost is one copy of it.
class ReplayScreen final : public orvamy::ScreenSource {
 public:
  explicit ReplayScreen(Picture picture) : picture_(std::move(picture)) {}
  orvamy::ByteArray CaptureScreenRect(std::int32_t, std::int32_t, std::int32_t,
                                      std::int32_t) override {
    return {};
  }
  bool CapturePixelsInto(Picture& into, orvamy::ScreenRect) override {
    return orvamy::CopyPixels(picture_.View(), into);
  }

 private:
  Picture picture_;
};

struct Setup {
  explicit Setup(std::int32_t w, std::int32_t h) : screen(3840, 2160) {
    boxes.width = std::to_string(w);
    boxes.height = std::to_string(h);
    boxes.marker = true;
    pointer.MoveTo({1920, 1080});
  }
  Picture StoredCapture(std::int32_t w, std::int32_t h) {
    Picture picture;
    screen.CapturePixelsInto(picture, {1920 - w / 2, 1080 - h / 2, w, h});
    return picture;
  }
  orvamy::fake::SyntheticScreen screen;
  orvamy::fake::ScriptedPointer pointer;
  orvamy::fake::ParameterBoxesStub boxes;
  orvamy::PointerPosition position;
  orvamy::FrameCanvas canvas;
};

// `passes`: how many times the path reads or writes the frame's pixels after
// the capture: drawing on the canvas reads the capture and writes the canvas
// (2); the encoder's copy reads the canvas and writes its own (2).
void SetCounters(benchmark::State& state, PixelView frame, int passes) {
  const double bytes = static_cast<double>(frame.width) * frame.height * sizeof(std::uint32_t);
  state.counters["frame_bytes"] = bytes;
  state.counters["bytes_touched"] = bytes * passes;
}

void Composer(benchmark::State& state, bool replay, bool with_encoder_copy) {
  const auto w = static_cast<std::int32_t>(state.range(0));
  const auto h = static_cast<std::int32_t>(state.range(1));
  Setup s(w, h);
  ReplayScreen stored(s.StoredCapture(w, h));
  orvamy::ScreenSource& screen = replay ? static_cast<orvamy::ScreenSource&>(stored) : s.screen;
  orvamy::FrameComposer composer({screen, s.pointer, s.boxes, s.position, s.canvas});
  Picture encoder_copy;
  PixelView frame;
  for (auto _ : state) {
    frame = composer.Compose(orvamy::ReadCaptureSettings(s.boxes));
    if (with_encoder_copy) orvamy::CopyPixels(frame, encoder_copy);
    benchmark::DoNotOptimize(frame.pixels);
    benchmark::DoNotOptimize(encoder_copy.pixels.data());
  }
  SetCounters(state, frame, with_encoder_copy ? 4 : 2);
}

void FrameComposer(benchmark::State& state) { Composer(state, false, false); }
void FrameComposer_Replay(benchmark::State& state) { Composer(state, true, false); }
void RecorderFrame(benchmark::State& state) { Composer(state, false, true); }
void RecorderFrame_Replay(benchmark::State& state) { Composer(state, true, true); }

void ComposeFrame(benchmark::State& state) {
  Setup s(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
  orvamy::FrameSources sources{s.screen, s.pointer, s.boxes, s.position, s.canvas};
  Picture frame;
  for (auto _ : state) {
    frame = orvamy::ComposeFrame(sources);
    benchmark::DoNotOptimize(frame.pixels.data());
  }
  SetCounters(state, frame.View(), 4);
}

}  // namespace

BENCHMARK(RecorderFrame)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(RecorderFrame_Replay)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(FrameComposer)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(FrameComposer_Replay)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeFrame)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
