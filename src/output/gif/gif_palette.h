#pragma once
// Colour tables for GIF frames: exact tables for areas of up to 256 colours,
// and a median-cut quantiser for the rest whose table carries over from frame
// to frame while it still fits, so unchanged content keeps its colours.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace orvamy::gif {

// Colour distance weighted for the eye: 3 dR^2 + 4 dG^2 + 2 dB^2. Inline: the
// quantiser and the lossy LZW call it millions of times per large frame.
inline std::int64_t Distance(std::uint32_t a, std::uint32_t b) {
  const auto channel = [](std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
  const int dr = channel(a, 16) - channel(b, 16);
  const int dg = channel(a, 8) - channel(b, 8);
  const int db = channel(a, 0) - channel(b, 0);
  return 3 * dr * dr + 4 * dg * dg + 2 * db * db;  // at most 585225
}

// A small open-addressed set of 0x00RRGGBB colours, each with its table index
// in order of first sight. Gives up (returns false) past `limit` colours.
class ExactColours {
 public:
  void Clear();
  // Adds `colour`; false once more than `limit` distinct colours were seen.
  bool Add(std::uint32_t colour, int limit);
  bool Contains(std::uint32_t colour) const;
  // The index of a colour that was added.
  std::uint8_t IndexOf(std::uint32_t colour) const;
  const std::vector<std::uint32_t>& colours() const { return colours_; }

 private:
  static constexpr std::uint32_t kSlots = 1024;
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;  // never a 24-bit colour
  static std::uint32_t Slot(std::uint32_t colour) { return (colour * 2654435761u) >> 22; }
  std::uint32_t keys_[kSlots];
  std::uint8_t values_[kSlots];
  std::vector<std::uint32_t> colours_;
  bool initialised_ = false;
};

// A colour table ordered by green, for nearest-entry searches (gif::Distance)
// that start at the colour's green and stop on each side once the green term
// alone exceeds the best distance found. Gives the same entry as a search of
// the whole table: the lowest index among the nearest.
class GreenOrder {
 public:
  void Build(std::span<const std::uint32_t> table);
  // The index in the table; 0 for an empty table.
  std::size_t Nearest(std::uint32_t colour) const;

 private:
  struct Entry {
    std::uint32_t colour;
    std::uint16_t index;
    std::uint8_t green;
  };
  std::vector<Entry> entries_;
  std::uint16_t first_[257] = {};  // per green level: the first entry at or above it
};

// Counts of exact colours seen in runs (flat areas), for up to a few
// thousand colours; the rest are not counted.
class RunColours {
 public:
  void Clear();
  void Add(std::uint32_t colour, std::uint32_t count);
  // The colours with at least `min_count` pixels, most frequent first, at
  // most `limit` of them.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> Popular(std::uint64_t min_count,
                                                                std::size_t limit) const;

 private:
  static constexpr std::uint32_t kSlots = 4096;
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  std::vector<std::uint32_t> keys_ = std::vector<std::uint32_t>(kSlots, kFree);
  std::vector<std::uint64_t> counts_ = std::vector<std::uint64_t>(kSlots, 0);
  std::vector<std::uint32_t> used_;  // slots in use
};

// Median cut over a 15-bit histogram, with a nearest-colour cache per 15-bit
// cell. Colours that cover flat areas get exact entries of their own. The table in use is kept while its error on a new frame stays close
// to that of a fresh table.
class Quantiser {
 public:
  Quantiser();
  // Builds (or keeps) the table for the pixels where `use` is true (all
  // pixels when `use` is empty); at most `max_colours` entries.
  void Prepare(std::span<const std::uint32_t> pixels, std::span<const std::uint8_t> use,
               int max_colours);
  const std::vector<std::uint32_t>& palette() const { return palette_; }
  // The 15-bit cells the last Prepare counted, its flat colours aside.
  std::size_t cells_used() const { return bins_.size(); }
  // Changes whenever the table does.
  std::uint64_t generation() const { return generation_; }
  std::uint8_t Map(std::uint32_t colour) {
    const std::uint32_t cell = Cell(colour);
    std::uint16_t& cached = cache_[cell];
    if (cached == kUnknown) cached = Nearest(cell);
    return static_cast<std::uint8_t>(cached);
  }

  // The nearest entry to the colour itself (Map answers for the centre of
  // its 15-bit cell, a few levels off).
  std::uint8_t MapExactly(std::uint32_t colour) const {
    return static_cast<std::uint8_t>(order_.Nearest(colour));
  }

  // Histogram entries per 15-bit cell: a pixel count and channel sums.
  struct Cell32 {
    std::uint32_t count, r, g, b;
  };
  struct Cell64 {
    std::uint64_t count, r, g, b;
  };

 private:
  static constexpr std::uint16_t kUnknown = 0xFFFF;
  static std::uint32_t Cell(std::uint32_t c) {
    return ((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F);
  }
  std::uint16_t Nearest(std::uint32_t cell) const;
  struct Bin {
    std::uint32_t cell;
    std::uint32_t count;
    std::uint64_t r, g, b;
  };
  // The phases of Prepare.
  std::uint64_t CountColours(std::span<const std::uint32_t> pixels,
                             std::span<const std::uint8_t> use);
  void ReserveFlatColours(std::uint64_t used_pixels, int max_colours);
  std::vector<std::uint32_t> MedianCut(int max_colours, double& error);
  void RefineOnce(std::vector<std::uint32_t>& fresh);
  bool KeepsCurrentTable(double fresh_error, int max_colours);
  static std::uint32_t MeanColour(const Bin& b);
  std::vector<Cell32> cells_;
  std::vector<Cell64> wide_;  // only for areas beyond 2^24 pixels
  std::vector<std::uint16_t> cache_;
  std::vector<std::uint32_t> palette_;
  GreenOrder order_;        // palette_ by green
  GreenOrder fresh_order_;  // a candidate table by green
  std::vector<Bin> bins_;
  RunColours runs_;
  std::vector<std::uint32_t> reserved_;  // exact entries for flat colours
  std::uint64_t generation_ = 0;
};

}  // namespace orvamy::gif
