#pragma once
// The one form a frame's pixels take inside the program, from the screen's
// back end through the frame canvas to the GIF encoder: 32-bit words
// 0x00RRGGBB, rows top-down. Converting once, where the pixels are read,
// spares every later stage a decode and an encode of its own.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

namespace orvamy {

// Pixels owned by someone else: `width` x `height` of them, each row starting
// `stride` pixels after the one above (stride >= width). Valid while the owner
// leaves them alone.
struct PixelView {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t stride = 0;  // in pixels, not bytes
  const std::uint32_t* pixels = nullptr;

  bool empty() const { return width < 1 || height < 1 || pixels == nullptr; }
  // The first pixel of row `y` (0 is the top row).
  const std::uint32_t* Row(std::int32_t y) const {
    return pixels + static_cast<std::size_t>(y) * stride;
  }
};

// A picture that owns its pixels, rows packed (stride == width).
struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(std::int32_t x, std::int32_t y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
  std::uint32_t* Row(std::int32_t y) {
    return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  }
  PixelView View() const {
    return {width, height, static_cast<std::size_t>(width), pixels.data()};
  }

  // Gives the picture this size, keeping the memory it already holds (a
  // recording reads frames of one size over and over); the pixels' values
  // are left as they happen to be, for the caller to write. False, and the
  // picture emptied, for a size below 1 or memory that cannot be had.
  bool Reshape(std::int32_t new_width, std::int32_t new_height) {
    if (new_width < 1 || new_height < 1) {
      Clear();
      return false;
    }
    try {
      pixels.resize(static_cast<std::size_t>(new_width) * static_cast<std::size_t>(new_height));
    } catch (const std::bad_alloc&) {
      Clear();
      return false;
    } catch (const std::length_error&) {  // more pixels than a vector can count
      Clear();
      return false;
    }
    width = new_width;
    height = new_height;
    return true;
  }

  void Clear() {
    width = height = 0;
    pixels.clear();
  }
};

// Makes `to` a packed copy of `from`, reusing its memory. False, and `to`
// emptied, for an empty view or memory that cannot be had.
inline bool CopyPixels(PixelView from, Picture& to) {
  if (from.empty() || !to.Reshape(from.width, from.height)) {
    to.Clear();
    return false;
  }
  const auto width = static_cast<std::size_t>(from.width);
  for (std::int32_t y = 0; y < from.height; ++y) {
    const std::uint32_t* row = from.Row(y);
    std::copy(row, row + width, to.Row(y));
  }
  return true;
}

}  // namespace orvamy
