// orvamy-gifenc [OPTIONS] -o OUT.gif FRAME.bmp ...
//
// Feeds 24- or 32-bit BMP files through the GIF builder exactly as the
// recorder does: BeginAnimation, the animation size taken from the first
// frame, AddFrame per file in order, then SaveAnimation. Prints the path
// actually written (OUT-2.gif, ... when OUT.gif exists). Exit codes: 0 saved,
// 1 a frame could not be read or the file could not be written, 2 bad usage.
// A frame that cannot be read stops the job before anything is written.

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
#include "platform/console/terminal.h"

namespace {

#ifndef ORVAMY_VERSION
#define ORVAMY_VERSION "unknown"
#endif

constexpr std::string_view kUsage =
    "usage: orvamy-gifenc [-d DELAY] -o OUT.gif FRAME.bmp ...\n"
    "       orvamy-gifenc --help | --version\n"
    "Encodes 24- or 32-bit BMP frames into an animated GIF as the recorder does.\n"
    "The first frame sets the size; frames of another size are drawn at the top\n"
    "left (with a warning).\n"
    "  -d DELAY    display time of each frame in hundredths of a second (default 20;\n"
    "              0 and 1 mean frames captured 1/100 s apart, written with delays\n"
    "              of at least 2 so that the animation plays as long as recorded)\n"
    "  -o FILE     the GIF to write; an existing file is never overwritten\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "A progress line (frames done, frames per second) is shown on standard error\n"
    "for long jobs when it is a terminal.\n";

struct Options {
  int delay = 20;
  std::string output;
  std::vector<std::string> frames;
};

// What the command line asks for: a job, or only a text to print.
enum class Request { kEncode, kHelp, kVersion };

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

std::optional<Options> ParseArguments(int argc, char** argv, Request& request,
                                      std::string& error) {
  Options options;
  request = Request::kEncode;
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
      request = Request::kHelp;
      return std::nullopt;
    } else if (arg == "--version") {
      request = Request::kVersion;
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

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Why the builder could not take this file, in the user's words.
std::string WhyNotReadable(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return "is not a BMP image";
  if (bytes.size() < orvamy::kBmpPixelOffset) return "is truncated (its headers are incomplete)";
  const auto bits = static_cast<unsigned>(bytes[28] | bytes[29] << 8);
  if (bits != 24 && bits != 32) {
    return "is a " + std::to_string(bits) + "-bit BMP image; only 24- and 32-bit images are read";
  }
  if (Read32(bytes, 30) != 0) return "is a compressed BMP image; only uncompressed ones are read";
  return "is truncated or damaged (its pixels do not fit the size in its header)";
}

// The live "frames done, frames per second" line for long jobs on a terminal.
// It starts after a second, so quick jobs print nothing, and is redrawn a few
// times a second in place.
class ProgressLine {
 public:
  ProgressLine(std::size_t total, bool enabled)
      : total_(total), enabled_(enabled), start_(Clock::now()), next_(start_ + kFirst) {}

  void FrameDone(std::size_t done) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now < next_ && !(done == total_ && shown_)) return;  // the last count once shown
    next_ = now + kEvery;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char line[96];
    std::snprintf(line, sizeof line, "\rorvamy-gifenc: %zu/%zu frames, %.1f frames/s", done, total_,
                  rate);
    std::cerr << line << std::flush;
    shown_ = true;
  }

  // Ends the line so that what follows starts on a fresh one.
  void Finish() {
    if (shown_) std::cerr << "\n" << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirst{1000};
  static constexpr std::chrono::milliseconds kEvery{250};
  std::size_t total_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point next_;
  bool shown_ = false;
};

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
  ProgressLine progress(total, orvamy::StandardErrorIsTerminal());
  bool size_warned = false;
  std::int32_t count = 0;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < total; ++i) {
    const std::string& name = options.frames[i];
    if (!ReadFile(name, bytes)) {
      progress.Finish();
      std::cerr << "orvamy-gifenc: cannot read frame " << name << "\n";
      return 1;  // the maker is abandoned: nothing is written
    }
    // The headers are checked here; the builder decodes the pixels.
    const auto picture = orvamy::ParseBmp(bytes);
    if (!picture) {
      progress.Finish();
      std::cerr << "orvamy-gifenc: " << name << " " << WhyNotReadable(bytes) << "\n";
      return 1;
    }
    if (i == 0) {
      if (picture->width > 65535 || picture->height > 65535) {
        std::cerr << "orvamy-gifenc: " << name << " is " << picture->width << "x"
                  << picture->height << "; a GIF is at most 65535 pixels wide and high\n";
        return 1;
      }
      animation.width = static_cast<std::uint16_t>(picture->width);
      animation.height = static_cast<std::uint16_t>(picture->height);
    } else if (!size_warned &&
               (picture->width != animation.width || picture->height != animation.height)) {
      // Once: a recording of mixed sizes would otherwise print a line per frame.
      progress.Finish();
      std::cerr << "orvamy-gifenc: warning: " << name << " is " << picture->width << "x"
                << picture->height << ", not " << animation.width << "x" << animation.height
                << " like the first frame; frames of another size are drawn at the top left\n";
      size_warned = true;
    }
    const auto captured_at =
        start + std::chrono::milliseconds(10 * std::max<std::int64_t>(options.delay, 1) *
                                          static_cast<std::int64_t>(i));
    orvamy::AddFrame(maker, frame_info, bytes, orvamy::FrameTiming{captured_at});
    ++count;
    progress.FrameDone(static_cast<std::size_t>(count));
  }
  progress.Finish();
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
  Request request = Request::kEncode;
  const auto options = ParseArguments(argc, argv, request, error);
  if (request == Request::kHelp) {
    std::cout << kUsage;
    return 0;
  }
  if (request == Request::kVersion) {
    std::cout << "orvamy-gifenc " << ORVAMY_VERSION << "\n";
    return 0;
  }
  if (!options) {
    std::cerr << "orvamy-gifenc: " << error << "\n" << kUsage;
    return 2;
  }
  try {
    return Run(*options);
  } catch (const std::exception& e) {
    std::cerr << "orvamy-gifenc: " << e.what() << "\n";
    return 1;
  }
}
