#pragma once
// Helpers for the GIF builder tests: synthetic frames, a scratch folder, and
// a small walker over the blocks of a GIF file (sizes, delays, loop block).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "capture/bmp.h"
#include "output/gif/gif_builder.h"

namespace orvamy::gif_test {

namespace fs = std::filesystem;

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("orvamy-gif-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline Picture Solid(int w, int h, std::uint32_t colour) {
  Picture p;
  p.width = w;
  p.height = h;
  p.pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), colour);
  return p;
}

// Text-like content: a few colours in short runs, shifted by `seed`.
inline Picture FewColours(int w, int h, int seed, int colours = 6) {
  static constexpr std::uint32_t kInk[] = {0xFFFFFF, 0x000000, 0x1E1E1E, 0x3366CC,
                                           0xC0C0C0, 0xFF0000, 0x00AA00, 0xFFCC00};
  Picture p = Solid(w, h, kInk[0]);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int v = ((x / 3) * 7 + (y / 2) * 13 + seed) % 11;
      if (v < colours) p.pixels[static_cast<std::size_t>(y) * w + x] = kInk[v % 8];
    }
  }
  return p;
}

// Photo-like content: thousands of colours.
inline Picture ManyColours(int w, int h, int seed) {
  Picture p = Solid(w, h, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto r = static_cast<std::uint32_t>((x * 255) / std::max(1, w - 1));
      const auto g = static_cast<std::uint32_t>((y * 255) / std::max(1, h - 1));
      const auto b = static_cast<std::uint32_t>(((x + y) * 3 + seed * 17) & 0xFF);
      p.pixels[static_cast<std::size_t>(y) * w + x] = r << 16 | g << 8 | b;
    }
  }
  return p;
}

inline std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a walk over the file's blocks finds.
struct GifLayout {
  bool valid = false;
  int screen_width = 0, screen_height = 0;
  bool loops = false;  // NETSCAPE2.0, loop count 0
  struct Image {
    int delay = -1;
    int disposal = 0;
    int transparent = -1;
    int left = 0, top = 0, width = 0, height = 0;
    int min_code_size = 0;
    int max_sub_block = 0;
  };
  std::vector<Image> images;
};

inline GifLayout WalkGif(const std::vector<std::uint8_t>& f) {
  GifLayout g;
  std::size_t i = 0;
  const auto u16 = [&](std::size_t at) { return f[at] | (f[at + 1] << 8); };
  const auto skip_blocks = [&](int* largest) {
    while (i < f.size() && f[i] != 0) {
      if (largest) *largest = std::max(*largest, static_cast<int>(f[i]));
      i += f[i] + 1u;
    }
    ++i;
  };
  if (f.size() < 13 || std::string(f.begin(), f.begin() + 6) != "GIF89a") return g;
  g.screen_width = u16(6);
  g.screen_height = u16(8);
  i = 13;
  if (f[10] & 0x80) i += 3u * (2u << (f[10] & 7));
  GifLayout::Image pending;
  while (i < f.size()) {
    const std::uint8_t kind = f[i];
    if (kind == 0x3B) {
      g.valid = i + 1 == f.size();
      return g;
    }
    if (kind == 0x21 && i + 2 < f.size()) {
      const std::uint8_t label = f[i + 1];
      if (label == 0xF9) {
        pending.disposal = (f[i + 3] >> 2) & 7;
        pending.delay = u16(i + 4);
        pending.transparent = (f[i + 3] & 1) ? f[i + 6] : -1;
      } else if (label == 0xFF && f[i + 2] == 11 &&
                 std::string(f.begin() + static_cast<std::ptrdiff_t>(i) + 3,
                             f.begin() + static_cast<std::ptrdiff_t>(i) + 14) == "NETSCAPE2.0") {
        g.loops = f[i + 14] == 3 && f[i + 15] == 1 && u16(i + 16) == 0;
      }
      i += 2;
      skip_blocks(nullptr);
    } else if (kind == 0x2C && i + 10 < f.size()) {
      pending.left = u16(i + 1);
      pending.top = u16(i + 3);
      pending.width = u16(i + 5);
      pending.height = u16(i + 7);
      const std::uint8_t flags = f[i + 9];
      i += 10;
      if (flags & 0x80) i += 3u * (2u << (flags & 7));
      pending.min_code_size = f[i++];
      skip_blocks(&pending.max_sub_block);
      g.images.push_back(pending);
      pending = {};
    } else {
      return g;
    }
  }
  return g;
}

}  // namespace orvamy::gif_test
