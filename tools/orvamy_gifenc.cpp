// orvamy-gifenc [-d DELAY] -o OUT.gif FRAME.bmp ...
//
// Feeds 24- or 32-bit BMP files through the GIF builder exactly as the
// recorder does: BeginAnimation, the animation size taken from the first
// frame, AddFrame per file in order, then SaveAnimation. Prints the path
// actually written (OUT-2.gif, ... when OUT.gif exists). Exit codes: 0 saved,
// 1 a frame could not be read or the file could not be written, 2 bad usage.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/bmp.h"
#include "output/gif/gif_builder.h"

namespace {

constexpr std::string_view kUsage =
    "usage: orvamy-gifenc [-d DELAY] -o OUT.gif FRAME.bmp ...\n"
    "  -d DELAY  display time of each frame in hundredths of a second (default 20;\n"
    "            0 and 1 mean frames captured 1/100 s apart, written with delays\n"
    "            of at least 2 so that the animation plays as long as recorded)\n"
    "  -o FILE   the GIF to write; an existing file is never overwritten\n";

struct Options {
  int delay = 20;
  std::string output;
  std::vector<std::string> frames;
};

std::optional<int> ParseDelay(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535) return std::nullopt;
  return value;
}

std::optional<Options> ParseArguments(int argc, char** argv, std::string& error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-d" || arg == "-o") {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return std::nullopt;
      }
      const std::string_view value = argv[++i];
      if (arg == "-o") {
        options.output = value;
      } else if (const auto delay = ParseDelay(value)) {
        options.delay = *delay;
      } else {
        error = "bad delay '" + std::string(value) + "': a whole number 0..65535 expected";
        return std::nullopt;
      }
    } else if (arg == "-h" || arg == "--help") {
      return std::nullopt;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
      return std::nullopt;
    } else {
      options.frames.emplace_back(arg);
    }
  }
  if (options.output.empty()) {
    error = "no output file (-o OUT.gif)";
    return std::nullopt;
  }
  if (options.frames.empty()) {
    error = "no frames given";
    return std::nullopt;
  }
  return options;
}

// Reads the whole file into `bytes` (its memory is reused from frame to
// frame) with one read; false when it cannot be read.
bool ReadFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;  // a folder opens, but has no size
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  bytes.resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  return in.gcount() == static_cast<std::streamsize>(size);
}

int Run(const Options& options) {
  namespace fs = std::filesystem;
  orvamy::GifMaker maker;
  orvamy::AnimationInfo animation;
  orvamy::FrameInfo frame_info;
  orvamy::BeginOptions begin;
  const fs::path out_path(options.output);
  begin.work_directory = out_path.has_parent_path() ? out_path.parent_path() : fs::path(".");
  orvamy::BeginAnimation(maker, animation, begin);
  animation.member8 = 1;
  animation.member12 = 0;
  frame_info.delay = static_cast<std::uint16_t>(options.delay);

  // Capture times as a recording at this delay would have them; 0 ("no
  // pause") counts as 1 hundredth, the finest step a GIF can time.
  const auto start = std::chrono::steady_clock::now();
  const std::size_t total = options.frames.size();
  const bool show_progress = total >= 200;
  std::int32_t count = 0;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < total; ++i) {
    const std::string& name = options.frames[i];
    if (!ReadFile(name, bytes)) {
      std::cerr << "orvamy-gifenc: cannot read frame " << name << "\n";
      return 1;  // the maker is abandoned: nothing is written
    }
    // The headers are checked here; the builder decodes the pixels.
    const auto picture = orvamy::ParseBmp(bytes);
    if (!picture) {
      std::cerr << "orvamy-gifenc: " << name
                << " is not an uncompressed 24- or 32-bit BMP image\n";
      return 1;
    }
    if (i == 0) {
      animation.width = static_cast<std::uint16_t>(picture->width);
      animation.height = static_cast<std::uint16_t>(picture->height);
    }
    const auto captured_at =
        start + std::chrono::milliseconds(10 * std::max<std::int64_t>(options.delay, 1) *
                                          static_cast<std::int64_t>(i));
    orvamy::AddFrame(maker, frame_info, bytes, orvamy::FrameTiming{captured_at});
    ++count;
    if (show_progress && (count % 100 == 0 || static_cast<std::size_t>(count) == total)) {
      std::cerr << "orvamy-gifenc: " << count << "/" << total << " frames\n";
    }
  }
  animation.frame_count = count;
  const orvamy::SaveResult result = orvamy::SaveAnimation(maker, options.output);
  if (!result) {
    std::cerr << "orvamy-gifenc: cannot write " << options.output << ": " << result.error << "\n";
    return 1;
  }
  std::cout << result.written_path << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseArguments(argc, argv, error);
  if (!options) {
    if (!error.empty()) std::cerr << "orvamy-gifenc: " << error << "\n";
    std::cerr << kUsage;
    return error.empty() ? 0 : 2;
  }
  try {
    return Run(*options);
  } catch (const std::exception& e) {
    std::cerr << "orvamy-gifenc: " << e.what() << "\n";
    return 1;
  }
}
