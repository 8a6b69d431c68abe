#include "output/gif/gif_frame_diff.h"

#include <algorithm>
#include <cstring>

namespace orvamy::gif {

ScreenRect ChangedRect(std::span<const std::uint32_t> now, std::span<const std::uint32_t> before,
                       std::size_t w, std::size_t h) {
  ScreenRect r{w, h, 0, 0};
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint32_t* a = now.data() + y * w;
    const std::uint32_t* b = before.data() + y * w;
    if (std::memcmp(a, b, w * sizeof(std::uint32_t)) == 0) continue;
    std::size_t l = 0, right = w;
    while (a[l] == b[l]) ++l;
    while (a[right - 1] == b[right - 1]) --right;
    r.x0 = std::min(r.x0, l);
    r.x1 = std::max(r.x1, right);
    r.y0 = std::min(r.y0, y);
    r.y1 = y + 1;
  }
  return r;
}

// Eight flags per store: the compiler keeps the compare loop branch-free.
void MarkChanged(const std::uint32_t* a, const std::uint32_t* b, std::uint8_t* changed,
                 std::size_t count) {
  std::size_t x = 0;
  for (; x + 8 <= count; x += 8) {
    std::uint64_t flags = 0;
    for (unsigned k = 0; k < 8; ++k) {
      flags |= static_cast<std::uint64_t>(a[x + k] != b[x + k]) << (8 * k);
    }
    std::memcpy(changed + x, &flags, 8);
  }
  for (; x < count; ++x) changed[x] = a[x] != b[x];
}

}  // namespace orvamy::gif
