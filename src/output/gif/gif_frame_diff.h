#pragma once
// What changed between the picture shown and the next one: the bounding
// rectangle of the changed pixels, and per pixel whether it may stay
// transparent (the viewer keeps showing what is there).

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvamy::gif {

struct ScreenRect {
  std::size_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1)
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  std::size_t width() const { return x1 - x0; }
  std::size_t height() const { return y1 - y0; }
};

// The smallest rectangle holding every pixel where `now` and `before` (both
// `width` x `height`, row by row) differ; empty when none does.
ScreenRect ChangedRect(std::span<const std::uint32_t> now, std::span<const std::uint32_t> before,
                       std::size_t width, std::size_t height);

// changed[x] = whether a[x] differs from b[x], for `count` pixels.
void MarkChanged(const std::uint32_t* a, const std::uint32_t* b, std::uint8_t* changed,
                 std::size_t count);

}  // namespace orvamy::gif
