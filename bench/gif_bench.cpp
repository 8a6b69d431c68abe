// GIF builder benchmarks: AddFrame latency on the recorder thread, encoding
// throughput at 350x250 and 1920x1080, and peak memory over 10,000 frames.
// Figures are printed (counters), never asserted.
//
// The frames come from a synthetic desktop: text windows, a title bar, a
// photo-like wallpaper; a rectangle follows a pointer that rests, glides and
// jumps, with the blue pointer marker drawn in, as the recorder composes them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/bmp.h"
#include "output/gif/gif_builder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

orvamy::Picture MakeDesktop(int w, int h) {
  orvamy::Picture d;
  d.width = w;
  d.height = h;
  d.pixels.resize(static_cast<std::size_t>(w) * h);
  std::mt19937 rng(42);
  // Wallpaper: smooth colour fields with fine grain, thousands of colours.
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int grain = static_cast<int>(rng() % 9) - 4;
      const auto r = static_cast<std::uint32_t>(std::clamp(90 + 80 * x / w + grain, 0, 255));
      const auto g = static_cast<std::uint32_t>(std::clamp(60 + 120 * y / h + grain, 0, 255));
      const auto b = static_cast<std::uint32_t>(std::clamp(150 - 60 * (x + y) / (w + h) + grain, 0, 255));
      d.pixels[static_cast<std::size_t>(y) * w + x] = r << 16 | g << 8 | b;
    }
  }
  // Windows: a title bar and lines of "text" in two inks.
  const auto window = [&](int x0, int y0, int ww, int wh, std::uint32_t title) {
    for (int y = y0; y < std::min(h, y0 + wh); ++y) {
      for (int x = x0; x < std::min(w, x0 + ww); ++x) {
        std::uint32_t c = 0xFFFFFF;
        if (y < y0 + 22) {
          c = title;
        } else if ((y - y0 - 30) % 16 < 9 && (x - x0) % 7 < 5 && ((x - x0) / 7 * 31 + (y - y0) / 16 * 17) % 13 > 2 &&
                   x > x0 + 8 && x < x0 + ww - 8) {
          c = ((y - y0) / 16) % 5 == 0 ? 0x0033AA : 0x1E1E1E;
        }
        d.pixels[static_cast<std::size_t>(y) * w + x] = c;
      }
    }
  };
  window(w / 20, h / 12, w / 2, h * 2 / 3, 0x2B579A);
  window(w * 11 / 20, h / 4, w * 2 / 5, h / 2, 0x3C3C3C);
  return d;
}

// The pointer's path: rests, glides and jumps.
struct PointerPath {
  int w, h;
  int x, y, tx, ty, rest = 0;
  std::mt19937 rng{7};
  PointerPath(int dw, int dh) : w(dw), h(dh), x(dw / 2), y(dh / 2), tx(x), ty(y) {}
  void Step() {
    if (rest > 0) {
      --rest;
      return;
    }
    if (x == tx && y == ty) {
      const auto r = rng() % 10;
      if (r < 4) rest = static_cast<int>(rng() % 15);
      tx = static_cast<int>(rng() % static_cast<unsigned>(w));
      ty = static_cast<int>(rng() % static_cast<unsigned>(h));
      if (r == 9) {  // a jump
        x = tx;
        y = ty;
      }
      return;
    }
    const auto toward = [](int a, int b) { return a + std::clamp(b - a, -9, 9); };
    x = toward(x, tx);
    y = toward(y, ty);
  }
};

// Composes the rectangle around the pointer with the marker, as a BMP image.
std::vector<std::uint8_t> Compose(const orvamy::Picture& desk, int cx, int cy, int w, int h) {
  orvamy::Picture f;
  f.width = w;
  f.height = h;
  f.pixels.assign(static_cast<std::size_t>(w) * h, 0xC0C0C0);
  const int left = cx - w / 2, top = cy - h / 2;
  for (int y = 0; y < h; ++y) {
    const int sy = top + y;
    if (sy < 0 || sy >= desk.height) continue;
    for (int x = 0; x < w; ++x) {
      const int sx = left + x;
      if (sx >= 0 && sx < desk.width) f.pixels[static_cast<std::size_t>(y) * w + x] = desk.At(sx, sy);
    }
  }
  const auto dot = [&](int x, int y) {
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx)
        if (x + dx < w && y + dy < h && x + dx >= 0 && y + dy >= 0)
          f.pixels[static_cast<std::size_t>(y + dy) * w + x + dx] = 0x0000FF;
  };
  for (int i = 0; i <= 6; ++i) dot(w / 2 + i, h / 2 + i);
  for (int i = -1; i <= 3; ++i) dot(w / 2 + i, h / 2);
  for (int i = -1; i <= 3; ++i) dot(w / 2, h / 2 + i);
  return orvamy::EncodeBmp24(f);
}

std::vector<std::vector<std::uint8_t>> FollowingFrames(int w, int h, int count) {
  static const orvamy::Picture desk = MakeDesktop(1920, 1080);
  PointerPath path(desk.width, desk.height);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < count; ++i) {
    path.Step();
    frames.push_back(Compose(desk, path.x, path.y, w, h));
  }
  return frames;
}

// A full-HD pan across a wider desktop: every pixel changes every frame.
std::vector<std::vector<std::uint8_t>> PanFrames(int count) {
  const orvamy::Picture desk = MakeDesktop(2600, 1080);
  std::vector<std::vector<std::uint8_t>> frames;
  for (int i = 0; i < count; ++i) frames.push_back(Compose(desk, 960 + 8 * i, 540, 1920, 1080));
  return frames;
}

fs::path BenchDir() {
  const fs::path dir = fs::temp_directory_path() / "orvamy-gif-bench";
  fs::create_directories(dir);
  return dir;
}

std::uintmax_t Encode(const std::vector<std::vector<std::uint8_t>>& frames, int w, int h,
                      std::uint16_t delay) {
  const fs::path dir = BenchDir();
  orvamy::GifMaker maker;
  orvamy::AnimationInfo info;
  orvamy::FrameInfo frame;
  orvamy::BeginAnimation(maker, info, {dir});
  info.width = static_cast<std::uint16_t>(w);
  info.height = static_cast<std::uint16_t>(h);
  frame.delay = delay;
  for (const auto& f : frames) orvamy::AddFrame(maker, frame, f);
  info.frame_count = static_cast<std::int32_t>(frames.size());
  const auto result = orvamy::SaveAnimation(maker, (dir / "bench.gif").string());
  std::uintmax_t size = 0;
  if (result) {
    size = fs::file_size(result.written_path);
    fs::remove(result.written_path);
  }
  return size;
}

void BM_EncodeFollowingPointer(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto frames = FollowingFrames(w, h, 150);
  std::uintmax_t bytes = 0;
  for (auto _ : state) bytes = Encode(frames, w, h, 5);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["gif_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeFollowingPointer)->Args({350, 250})->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_EncodeFullHdPan(benchmark::State& state) {
  const auto frames = PanFrames(60);
  std::uintmax_t bytes = 0;
  for (auto _ : state) bytes = Encode(frames, 1920, 1080, 3);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames.size()),
                                                  benchmark::Counter::kIsIterationInvariantRate);
  state.counters["gif_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeFullHdPan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// AddFrame as the recorder calls it: paced, one call per capture interval.
void BM_AddFrameLatency(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto interval = std::chrono::microseconds(state.range(2));
  const auto frames = FollowingFrames(w, h, 400);
  std::vector<double> micros;
  for (auto _ : state) {
    const fs::path dir = BenchDir();
    orvamy::GifMaker maker;
    orvamy::AnimationInfo info;
    orvamy::FrameInfo frame;
    orvamy::BeginAnimation(maker, info, {dir});
    info.width = static_cast<std::uint16_t>(w);
    info.height = static_cast<std::uint16_t>(h);
    frame.delay = 2;
    auto next = Clock::now();
    for (const auto& f : frames) {
      std::this_thread::sleep_until(next);
      next += interval;
      const auto t0 = Clock::now();
      orvamy::AddFrame(maker, frame, f, orvamy::FrameTiming{t0});
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    state.PauseTiming();
    const auto result = orvamy::SaveAnimation(maker, (dir / "latency.gif").string());
    if (result) fs::remove(result.written_path);
    state.ResumeTiming();
  }
  std::sort(micros.begin(), micros.end());
  const auto at = [&](double q) { return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))]; };
  state.counters["p50_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_AddFrameLatency)->Args({350, 250, 20000})->Args({1920, 1080, 33333})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

long PeakRssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// 10,000 frames of 350x250, composed on the fly: memory must not grow with length.
void BM_TenThousandFrames(benchmark::State& state) {
  static const orvamy::Picture desk = MakeDesktop(1920, 1080);
  std::uintmax_t bytes = 0;
  for (auto _ : state) {
    const fs::path dir = BenchDir();
    orvamy::GifMaker maker;
    orvamy::AnimationInfo info;
    orvamy::FrameInfo frame;
    orvamy::BeginAnimation(maker, info, {dir});
    info.width = 350;
    info.height = 250;
    frame.delay = 5;
    PointerPath path(desk.width, desk.height);
    for (int i = 0; i < 10000; ++i) {
      path.Step();
      orvamy::AddFrame(maker, frame, Compose(desk, path.x, path.y, 350, 250));
    }
    info.frame_count = 10000;
    const auto result = orvamy::SaveAnimation(maker, (dir / "long.gif").string());
    if (result) {
      bytes = fs::file_size(result.written_path);
      fs::remove(result.written_path);
    }
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(PeakRssKiB()) / 1024.0;
  state.counters["gif_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
  state.counters["frames/s"] = benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TenThousandFrames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
