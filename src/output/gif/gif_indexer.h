#pragma once
// Table choice and indices for one frame's changed rectangle: an exact table
// when the colours fit (all of them, or only the changed pixels' with the
// rest transparent), otherwise a quantised table for the changed pixels.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/gif/gif_frame.h"
#include "output/gif/gif_frame_diff.h"
#include "output/gif/gif_palette.h"

namespace orvamy::gif {

// Called on one thread only (the frame thread). Keeps the quantiser's table
// from frame to frame.
class FrameIndexer {
 public:
  // `lossless`: no colour but a pixel's own (or its nearest table entry)
  // is ever written for it.
  explicit FrameIndexer(bool lossless) : lossless_(lossless) {}

  // Called on the frame thread only. Fills `frame` (position, table, indices,
  // LZW freedom) for rectangle `r` of `screen`; `shown` is what the viewer
  // shows before this frame (empty for the first frame). Both are rows of
  // `screen_width` pixels.
  void Build(std::span<const std::uint32_t> screen, std::span<const std::uint32_t> shown,
             std::size_t screen_width, const ScreenRect& r, IndexedFrame& frame);

 private:
  bool CountExact(bool changed_only, int limit);
  bool PreferOpaque() const;
  void WriteExact(IndexedFrame& frame, bool clear);
  void WriteQuantised(IndexedFrame& frame, bool clear);

  std::vector<std::uint32_t> rect_;   // the rectangle's pixels, row after row
  std::vector<std::uint8_t> changed_;  // per pixel of rect_: differs from what is shown
  ExactColours colours_;
  Quantiser quantiser_;
  bool lossless_;
};

// A table of 1 << BitsFor(n) entries holds n colours (at least 4).
int BitsFor(std::size_t entries);

}  // namespace orvamy::gif
