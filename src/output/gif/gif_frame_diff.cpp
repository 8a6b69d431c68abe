#include "output/gif/gif_frame_diff.h"

#include <algorithm>
#include <cstring>

#include "output/gif/gif_palette.h"

namespace orvamy::gif {
namespace {

// Below this largest difference to a neighbour (about 2 levels per channel)
// an area counts as flat: its pixels get no error at all.
constexpr std::int64_t kFlatContrast = 40;
// Beyond that, the allowed error is this share of the local contrast.
constexpr std::int64_t kContrastShare = 4;

}  // namespace

std::uint32_t AllowedError(std::span<const std::uint32_t> screen, std::size_t w, std::size_t h,
                           std::size_t x, std::size_t y, std::uint32_t ceiling) {
  if (ceiling == 0) return 0;
  const std::uint32_t c = screen[y * w + x];
  std::int64_t contrast = 0;
  if (x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
    // Inside: all eight neighbours, without branches.
    const std::uint32_t* above = screen.data() + (y - 1) * w + x;
    const std::uint32_t* here = above + w;
    const std::uint32_t* below = here + w;
    for (const std::uint32_t* row : {above, here, below}) {
      contrast = std::max({contrast, Distance(c, row[-1]), Distance(c, row[0]), Distance(c, row[1])});
    }
    if (contrast < kFlatContrast) return 0;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(ceiling, contrast / kContrastShare));
  }
  const std::size_t y0 = y > 0 ? y - 1 : 0, y1 = std::min(h, y + 2);
  const std::size_t x0 = x > 0 ? x - 1 : 0, x1 = std::min(w, x + 2);
  for (std::size_t ny = y0; ny < y1; ++ny) {
    const std::uint32_t* row = screen.data() + ny * w;
    for (std::size_t nx = x0; nx < x1; ++nx) {
      if (row[nx] != c) contrast = std::max(contrast, Distance(c, row[nx]));
    }
  }
  if (contrast < kFlatContrast) return 0;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(ceiling, contrast / kContrastShare));
}

namespace {

// AllowedError for every pixel of row y, into out[0, w). The inside of the
// row runs as one straight loop over three rows.
void RowAllowance(std::span<const std::uint32_t> screen, std::size_t w, std::size_t h,
                  std::size_t y, std::uint32_t ceiling, std::uint32_t* out) {
  if (ceiling == 0 || y == 0 || y + 1 >= h || w < 3) {
    for (std::size_t x = 0; x < w; ++x) out[x] = AllowedError(screen, w, h, x, y, ceiling);
    return;
  }
  const std::uint32_t* above = screen.data() + (y - 1) * w;
  const std::uint32_t* here = above + w;
  const std::uint32_t* below = here + w;
  out[0] = AllowedError(screen, w, h, 0, y, ceiling);
  out[w - 1] = AllowedError(screen, w, h, w - 1, y, ceiling);
  for (std::size_t x = 1; x + 1 < w; ++x) {
    const std::uint32_t c = here[x];
    std::int64_t m = std::max(Distance(c, here[x - 1]), Distance(c, here[x + 1]));
    m = std::max(m, std::max(Distance(c, above[x - 1]), Distance(c, above[x])));
    m = std::max(m, std::max(Distance(c, above[x + 1]), Distance(c, below[x - 1])));
    m = std::max(m, std::max(Distance(c, below[x]), Distance(c, below[x + 1])));
    const std::int64_t allowed = m < kFlatContrast ? 0 : std::min<std::int64_t>(ceiling, m / kContrastShare);
    out[x] = static_cast<std::uint32_t>(allowed);
  }
}

}  // namespace

void DisplayState::Reset(std::size_t width, std::size_t height) {
  width_ = width;
  height_ = height;
  const std::size_t n = width * height;
  shown_.assign(n, 0);
  written_for_.assign(n, 0);
  floor_.assign(n, 0);
  stale_.assign(n, 1);
  bound_.assign(n, 0);
}

ScreenRect DisplayState::MarkStale(std::span<const std::uint32_t> source,
                                   std::span<const std::uint32_t> previous, std::uint32_t ceiling) {
  const std::size_t w = width_, h = height_;
  const std::size_t bytes = w * sizeof(std::uint32_t);
  row_same_.resize(h);
  for (std::size_t y = 0; y < h; ++y) {
    row_same_[y] = std::memcmp(source.data() + y * w, previous.data() + y * w, bytes) == 0;
  }
  ScreenRect r{w, h, 0, 0};
  for (std::size_t y = 0; y < h; ++y) {
    const std::size_t row = y * w;
    std::uint8_t* stale = stale_.data() + row;
    const bool window_same =
        row_same_[y] && (y == 0 || row_same_[y - 1]) && (y + 1 == h || row_same_[y + 1]);
    if (window_same || std::memcmp(source.data() + row, shown_.data() + row, bytes) == 0) {
      std::memset(stale, 0, w);
      continue;
    }
    std::size_t left = w, right = 0;
    bool row_bounds = false;  // bound_ worked out for this row
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint32_t s = source[row + x], d = shown_[row + x];
      bool keep = s == d;
      if (!keep) {
        const std::int64_t error = Distance(s, d);
        keep = s == written_for_[row + x] && error <= floor_[row + x];
        if (!keep) {
          if (!row_bounds) {
            RowAllowance(source, w, h, y, ceiling, bound_.data() + row);
            row_bounds = true;
          }
          keep = error <= bound_[row + x];
        }
      }
      stale[x] = !keep;
      if (!keep) {
        left = std::min(left, x);
        right = x + 1;
      }
    }
    if (right > left) {
      r.x0 = std::min(r.x0, left);
      r.x1 = std::max(r.x1, right);
      r.y0 = std::min(r.y0, y);
      r.y1 = y + 1;
    }
  }
  return r;
}

void DisplayState::Apply(const IndexedFrame& frame, std::span<const std::uint32_t> source) {
  const std::vector<std::uint8_t>& decoded = frame.written.empty() ? frame.indices : frame.written;
  const std::size_t fw = frame.width;
  for (std::size_t y = 0; y < frame.height; ++y) {
    const std::size_t row = (frame.top + y) * width_ + frame.left;
    for (std::size_t x = 0; x < fw; ++x) {
      const std::size_t i = y * fw + x;
      const int index = decoded[i];
      if (index == frame.transparent) continue;
      const std::uint32_t s = source[row + x];
      const std::uint32_t c = frame.palette[static_cast<std::size_t>(index)];
      const auto error = static_cast<std::uint32_t>(Distance(s, c));
      shown_[row + x] = c;
      written_for_[row + x] = s;
      // An error beyond the neighbourhood's allowance was the table's best
      // (see FrameIndexer): the same source may keep it.
      const std::uint32_t bound = frame.bound.empty() ? 0 : frame.bound[i];
      floor_[row + x] = error > bound ? error : 0;
    }
  }
}

}  // namespace orvamy::gif
