// Frame composition speed: capture a rectangle as a BMP file image, draw it on
// the frame canvas with the pointer marker and take the canvas as a 24-bit BMP
// file image, as the recorder does once per frame.
//   ComposeFrame/W/H        the whole path over the synthetic screen (its
//                           capture computes every pixel, a stand-in for the
//                           server's copy)
//   ComposeFrame_Replay/W/H the same with a screen that hands back one stored
//                           capture, so that the figure is the core's own work
//   FrameComposer*/W/H      the same two through FrameComposer, which keeps its
//                           buffers from frame to frame (what the recorder uses)
// Run: build/linux/bench/compose_bench

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "capture/compose.h"
#include "capture/frame_canvas.h"
#include "platform/fake/fake_platform.h"

namespace {

using orvamy::ByteArray;

// Serves one stored capture for every request: the cost is one copy of it.
class ReplayScreen final : public orvamy::ScreenSource {
 public:
  explicit ReplayScreen(ByteArray image) : image_(std::move(image)) {}
  ByteArray CaptureScreenRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {
    return image_;
  }
  bool CaptureScreenRectInto(ByteArray& image, std::int32_t, std::int32_t, std::int32_t,
                             std::int32_t) override {
    image = image_;
    return true;
  }

 private:
  ByteArray image_;
};

struct Setup {
  explicit Setup(std::int32_t w, std::int32_t h) : screen(3840, 2160) {
    boxes.width = std::to_string(w);
    boxes.height = std::to_string(h);
    boxes.marker = true;
    pointer.MoveTo({1920, 1080});
  }
  orvamy::fake::SyntheticScreen screen;
  orvamy::fake::ScriptedPointer pointer;
  orvamy::fake::ParameterBoxesStub boxes;
  orvamy::PointerPosition position;
  orvamy::FrameCanvas canvas;
};

void SetCounters(benchmark::State& state, std::size_t bytes) {
  state.counters["frame_bytes"] = static_cast<double>(bytes);
}

void ComposeFrame(benchmark::State& state) {
  Setup s(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
  orvamy::FrameSources sources{s.screen, s.pointer, s.boxes, s.position, s.canvas};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const ByteArray frame = orvamy::ComposeFrame(sources);
    bytes = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  SetCounters(state, bytes);
}

void ComposeFrame_Replay(benchmark::State& state) {
  const auto w = static_cast<std::int32_t>(state.range(0));
  const auto h = static_cast<std::int32_t>(state.range(1));
  Setup s(w, h);
  ReplayScreen replay(s.screen.CaptureScreenRect(1920 - w / 2, 1080 - h / 2, w, h));
  orvamy::FrameSources sources{replay, s.pointer, s.boxes, s.position, s.canvas};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const ByteArray frame = orvamy::ComposeFrame(sources);
    bytes = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  SetCounters(state, bytes);
}

void FrameComposer(benchmark::State& state) {
  Setup s(static_cast<std::int32_t>(state.range(0)), static_cast<std::int32_t>(state.range(1)));
  orvamy::FrameComposer composer({s.screen, s.pointer, s.boxes, s.position, s.canvas});
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto frame = composer.Compose();
    bytes = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  SetCounters(state, bytes);
}

void FrameComposer_Replay(benchmark::State& state) {
  const auto w = static_cast<std::int32_t>(state.range(0));
  const auto h = static_cast<std::int32_t>(state.range(1));
  Setup s(w, h);
  ReplayScreen replay(s.screen.CaptureScreenRect(1920 - w / 2, 1080 - h / 2, w, h));
  orvamy::FrameComposer composer({replay, s.pointer, s.boxes, s.position, s.canvas});
  std::size_t bytes = 0;
  for (auto _ : state) {
    const auto frame = composer.Compose();
    bytes = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  SetCounters(state, bytes);
}

}  // namespace

BENCHMARK(FrameComposer)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(FrameComposer_Replay)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeFrame)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(ComposeFrame_Replay)->Args({350, 250})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
