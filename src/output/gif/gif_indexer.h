#pragma once
// Table choice and indices for one frame's changed rectangle: an exact table
// when the colours fit (all of them, or only the changed pixels' with the
// rest transparent), otherwise a quantised table for the changed pixels.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
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
  // LZW freedom) for rectangle `r` of `screen` (rows of `screen_width` x
  // `screen_height` pixels). `stale` marks the pixels that must be written
  // (empty for the first frame: all of them); the others may stay
  // transparent; `bounds` holds AllowedError for the stale pixels; `shown`
  // what the viewer shows (empty with `stale`). `ceiling` caps the error any
  // pixel may get.
  void Build(std::span<const std::uint32_t> screen, std::size_t screen_width,
             std::size_t screen_height, std::span<const std::uint8_t> stale,
             std::span<const std::uint32_t> bounds, std::span<const std::uint32_t> shown,
             const ScreenRect& r, std::uint32_t ceiling, IndexedFrame& frame);

 private:
  void Choose(std::span<const std::uint32_t> screen, std::size_t screen_width,
              std::size_t screen_height, std::span<const std::uint8_t> stale,
              std::span<const std::uint32_t> bounds, std::span<const std::uint32_t> shown,
              const ScreenRect& r, std::uint32_t ceiling, IndexedFrame& frame);
  bool CountExact(bool changed_only, int limit);
  bool PreferOpaque() const;
  void WriteExact(IndexedFrame& frame, bool clear);
  void WriteQuantised(IndexedFrame& frame, bool clear, std::span<const std::uint32_t> screen,
                      std::size_t screen_width, std::size_t screen_height,
                      std::span<const std::uint32_t> bounds, const ScreenRect& r,
                      std::uint32_t ceiling);
  void WriteUsedEntries(IndexedFrame& frame, const std::vector<std::uint32_t>& table, bool clear);
  void AdoptGlobal(const std::vector<std::uint32_t>& colours, bool from_quantiser,
                   std::span<const std::uint8_t> indices);
  void ToGlobalEntries(IndexedFrame& frame) const;
  bool GlobalHolds(const std::vector<std::uint32_t>& colours) const;
  bool GlobalPays(std::size_t local_entries, std::size_t top) const;
  int CodeBitsFor(std::size_t top) const;
  std::uint8_t GlobalEntry(std::uint32_t colour) const;
  std::uint8_t GlobalNearest(std::uint32_t colour) const;
  std::size_t GlobalTop() const;
  void UseGlobal(IndexedFrame& frame, bool clear);
  bool GlobalServes(bool clear);
  bool TrimToSmallerTable();
  void TrimUsedEntries(IndexedFrame& frame, const std::vector<std::uint32_t>& table,
                       std::array<bool, 256>& used);
  std::uint8_t StandInFor(std::uint32_t colour) const;
  void WriteGlobalExact(IndexedFrame& frame, bool clear, bool stand_ins);
  void OfferKeptPixels(IndexedFrame& frame);
  std::uint8_t EitherKind(std::size_t i) const;
  std::uint8_t Nearest(std::uint32_t colour);

  std::vector<std::uint32_t> rect_;    // the rectangle's pixels, row after row
  std::vector<std::uint8_t> changed_;  // per pixel of rect_: must be written
  std::vector<std::uint32_t> rect_bound_;  // per pixel of rect_ that must be written: its bound
  // Per pixel of rect_ that may stay: the viewer shows its very colour, so
  // keeping it and writing it look the same (LzwChoices' kEitherSame).
  std::vector<std::uint8_t> kept_exact_;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> table_order_;  // colour -> entry, sorted
  // Nearest table entries of exact colours, direct-mapped, for one table.
  std::vector<std::uint32_t> near_key_;
  std::vector<std::uint8_t> near_index_;
  std::uint64_t near_generation_ = 0;
  ExactColours colours_;
  // Working memory of the two Trim functions, and the kept colours by green
  // for StandInFor.
  std::vector<std::uint32_t> trim_count_, trim_bound_;
  std::vector<std::uint32_t> trim_pixels_;  // changed pixels grouped by table entry
  GreenOrder kept_order_;
  Quantiser quantiser_;
  // The file's global table, set by the first frame when its colours (exact,
  // or its quantised table) leave room for a transparent entry: those
  // colours, the transparent entry, padding. A later frame whose colours are
  // all in it is written with it and carries no table of its own.
  struct GlobalTable {
    std::vector<std::uint32_t> palette;  // empty: none
    int bits = 0;
    int transparent = -1;
    ExactColours lookup;                  // colour -> its number among distinct colours
    std::vector<std::uint8_t> entry;      // that number -> its entry in `palette`
    GreenOrder order;                     // for the entry nearest a colour not in it
    std::vector<std::uint8_t> to_entry;   // adopted colour number -> its entry
    bool from_quantiser = false;          // the quantiser's table of `generation`
    std::uint64_t generation = 0;
  };
  GlobalTable global_;
  bool lossless_;
};

// A table of 1 << BitsFor(n) entries holds n colours (at least 4).
int BitsFor(std::size_t entries);

}  // namespace orvamy::gif
