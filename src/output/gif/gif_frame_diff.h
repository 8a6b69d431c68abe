#pragma once
// What the viewer sees, and what the next picture needs written.
//
// The display state is what a decoder shows after every frame written so
// far: the colours actually decoded, stand-ins included. Each pixel of a new
// picture is judged against it, never against the previous picture, so that
// error cannot build up from frame to frame. A pixel may keep what is shown
// when that is within the error its neighbourhood allows (none where the
// neighbourhood is flat; more with local contrast), or when its source has
// not changed since it was written and the shown colour was the best its
// table could give it then.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "output/gif/gif_frame.h"

namespace orvamy::gif {

struct ScreenRect {
  std::size_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1)
  bool empty() const { return x1 <= x0 || y1 <= y0; }
  std::size_t width() const { return x1 - x0; }
  std::size_t height() const { return y1 - y0; }
};

// The error (gif::Distance units) that pixel (x, y) of `screen` may show:
// 0 where its 3x3 neighbourhood is flat or nearly so, growing with the
// largest difference to a neighbour, at most `ceiling`.
std::uint32_t AllowedError(std::span<const std::uint32_t> screen, std::size_t width,
                           std::size_t height, std::size_t x, std::size_t y, std::uint32_t ceiling);

// Called on one thread only (the frame thread).
class DisplayState {
 public:
  // Called on the frame thread only. A blank state of width x height.
  void Reset(std::size_t width, std::size_t height);

  // Called on the frame thread only. Marks the pixels of `source` whose shown
  // colour is not good enough (stale(i) != 0) and returns their bounding
  // rectangle; empty when every pixel may stay. `previous` is the source of
  // the frames taken in: where a pixel and its neighbours are unchanged, what
  // was good enough for it then still is.
  ScreenRect MarkStale(std::span<const std::uint32_t> source,
                       std::span<const std::uint32_t> previous, std::uint32_t ceiling);

  // Called on the frame thread only. Takes in what `frame` (encoded from
  // `source`, and with its `written` indices filled in by LZW) shows.
  void Apply(const IndexedFrame& frame, std::span<const std::uint32_t> source);

  // Called on the frame thread only.
  const std::vector<std::uint32_t>& shown() const { return shown_; }
  const std::vector<std::uint8_t>& stale() const { return stale_; }
  // Per pixel, valid where stale: AllowedError of the source last marked.
  const std::vector<std::uint32_t>& bounds() const { return bound_; }

 private:
  std::size_t width_ = 0, height_ = 0;
  std::vector<std::uint32_t> shown_;    // the decoded colour per pixel
  std::vector<std::uint32_t> written_for_;  // the source colour it was written for
  std::vector<std::uint32_t> floor_;    // its error then, where no table could do better
  std::vector<std::uint8_t> stale_;
  std::vector<std::uint32_t> bound_;
  std::vector<std::uint8_t> row_same_;
};

}  // namespace orvamy::gif
