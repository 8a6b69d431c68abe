#include "output/gif/gif_indexer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvamy::gif {
namespace {

// How many bits wider than a frame's own table the global table may be for
// the frame to use it.
constexpr int kGlobalExtraBits = 1;

// Quantised frames whose colours fall into at most this many 15-bit cells
// (besides their flat colours) are text and UI rather than photos.
constexpr std::size_t kFewCells = 300;

// TrimToSmallerTable leaves out at most this share (1 / n) of a frame's colours.
constexpr std::size_t kMostLeftOut = 2;

// The first frame's table becomes the global one when a transparent entry
// fits into it without doubling it (the first frame would pay for that).
bool RoomForTransparent(std::size_t colours) { return BitsFor(colours + 1) == BitsFor(colours); }

// Fills the table up to its power of two. Unused entries repeat the first,
// so that no colour appears in the table that no pixel was given.
void PadTable(IndexedFrame& frame) {
  const std::uint32_t filler = frame.palette.empty() ? 0 : frame.palette.front();
  frame.palette.resize(std::size_t{1} << frame.bits, filler);
}

// Ends a frame's table once its colours are in: a transparent entry after
// them when unchanged pixels may stay clear, the size, the padding. Returns
// the index unchanged pixels are written with (0 when nothing is clear).
std::uint8_t CompleteTable(IndexedFrame& frame, bool clear) {
  if (clear) {
    frame.transparent = static_cast<int>(frame.palette.size());
    frame.palette.push_back(0);
  }
  frame.bits = BitsFor(frame.palette.size());
  PadTable(frame);
  return static_cast<std::uint8_t>(std::max(frame.transparent, 0));
}

// A frame written with the global table carries no table of its own, so its
// codes need only be as wide as its largest index: LZW starts at the least
// code size that holds every index it may write (the transparent one too,
// which pixels that may stay can be written as). Stand-ins come from strings
// LZW has already written, so they add no larger index.
void NarrowCodeSize(IndexedFrame& frame) {
  if (!frame.global_table) return;
  const std::uint8_t top = *std::max_element(frame.indices.begin(), frame.indices.end());
  const int needed = std::max<int>(top, frame.transparent) + 1;
  frame.bits = std::min(frame.bits, BitsFor(static_cast<std::size_t>(needed)));
}

}  // namespace

int BitsFor(std::size_t entries) {
  int bits = 2;
  while ((std::size_t{1} << bits) < entries) ++bits;
  return bits;
}

void FrameIndexer::Build(std::span<const std::uint32_t> screen, std::size_t w, std::size_t h,
                         std::span<const std::uint8_t> stale,
                         std::span<const std::uint32_t> bounds,
                         std::span<const std::uint32_t> shown, const ScreenRect& r,
                         std::uint32_t ceiling, IndexedFrame& frame) {
  Choose(screen, w, h, stale, bounds, shown, r, ceiling, frame);
  NarrowCodeSize(frame);
}

void FrameIndexer::Choose(std::span<const std::uint32_t> screen, std::size_t w, std::size_t h,
                          std::span<const std::uint8_t> stale,
                          std::span<const std::uint32_t> bounds,
                          std::span<const std::uint32_t> shown, const ScreenRect& r,
                          std::uint32_t ceiling, IndexedFrame& frame) {
  const std::size_t rw = r.width(), rh = r.height();
  frame.left = static_cast<std::uint16_t>(r.x0);
  frame.top = static_cast<std::uint16_t>(r.y0);
  frame.width = static_cast<std::uint16_t>(rw);
  frame.height = static_cast<std::uint16_t>(rh);
  const std::size_t n = rw * rh;
  const bool has_previous = !stale.empty();
  rect_.resize(n);
  changed_.resize(has_previous ? n : 0);
  rect_bound_.resize(has_previous ? n : 0);
  for (std::size_t y = 0; y < rh; ++y) {
    const std::size_t at = (r.y0 + y) * w + r.x0;
    std::memcpy(rect_.data() + y * rw, screen.data() + at, rw * sizeof(std::uint32_t));
    if (has_previous) {
      std::memcpy(changed_.data() + y * rw, stale.data() + at, rw);
      std::memcpy(rect_bound_.data() + y * rw, bounds.data() + at, rw * sizeof(std::uint32_t));
    }
  }
  kept_exact_.assign(has_previous ? n : 0, 0);
  if (has_previous && !shown.empty()) {
    for (std::size_t y = 0; y < rh; ++y) {
      const std::size_t at = (r.y0 + y) * w + r.x0;
      for (std::size_t x = 0; x < rw; ++x) {
        kept_exact_[y * rw + x] = screen[at + x] == shown[at + x];
      }
    }
  }

  frame.indices.resize(n);
  frame.written.resize(n);
  // Exact colours. With transparency, LZW may write each pixel that may stay
  // and whose colour is in the table either way, whichever makes longer strings.
  if (has_previous && CountExact(false, 255)) {
    WriteExact(frame, true);
    return;
  }
  if (!has_previous) {
    if (CountExact(false, 256)) {
      WriteExact(frame, false);
      if (RoomForTransparent(colours_.colours().size())) {
        AdoptGlobal(colours_.colours(), false, frame.indices);
        ToGlobalEntries(frame);
        UseGlobal(frame, false);
      }
      return;
    }
  } else {
    // All 256 colours opaque, or the changed pixels' colours with the rest
    // clear: where both fit, the stream with fewer value changes is taken,
    // as LZW makes longer strings of it.
    const bool all_fit = CountExact(false, 256);
    const bool changed_fit = CountExact(true, 255);  // leaves its table in colours_
    if (all_fit && (!changed_fit || PreferOpaque())) {
      CountExact(false, 256);
      WriteExact(frame, false);
      return;
    }
    if (changed_fit) {
      WriteExact(frame, true);
      return;
    }
  }
  WriteQuantised(frame, has_previous, screen, w, h, bounds, r, ceiling);
}

// Too many colours: a quantised table for the pixels to write, the rest
// transparent. Each pixel gets its cell's entry when that lies within what
// its neighbourhood allows, else the entry nearest its own colour; LZW may
// put a stand-in in its place within the larger of the two errors.
void FrameIndexer::WriteQuantised(IndexedFrame& frame, bool clear,
                                  std::span<const std::uint32_t> screen, std::size_t w,
                                  std::size_t h, std::span<const std::uint32_t> bounds,
                                  const ScreenRect& r, std::uint32_t ceiling) {
  const std::size_t n = rect_.size();
  quantiser_.Prepare(rect_, changed_, 255);
  const std::vector<std::uint32_t>& table = quantiser_.palette();
  frame.limit.resize(n);
  frame.bound.resize(n);
  const std::size_t rw = r.width();
  // Text and UI (colours in few cells): the cell's entry can lie a few levels
  // off at every glyph edge, which shows; the entry nearest the colour itself
  // does not, and codes no worse there. Photo-like frames keep the cell's
  // entry: its runs are longer.
  const bool nearest_first = quantiser_.cells_used() <= kFewCells;
  for (std::size_t i = 0; i < n; ++i) {
    if (clear && !changed_[i]) {
      frame.indices[i] = 0;  // made transparent below
      frame.limit[i] = 0;
      frame.bound[i] = 0;
      continue;
    }
    const std::uint32_t s = rect_[i];
    const std::size_t x = r.x0 + i % rw, y = r.y0 + i / rw;
    // Stale pixels had theirs worked out when they were found stale.
    const std::uint32_t bound =
        clear ? bounds[y * w + x] : AllowedError(screen, w, h, x, y, ceiling);
    std::uint8_t index = nearest_first ? Nearest(s) : quantiser_.Map(s);
    auto error = static_cast<std::uint32_t>(Distance(table[index], s));
    if (error > bound) {
      index = Nearest(s);
      error = static_cast<std::uint32_t>(Distance(table[index], s));
    }
    frame.indices[i] = index;
    frame.bound[i] = bound;
    frame.limit[i] = lossless_ ? 0 : std::max(bound, error);
  }
  WriteUsedEntries(frame, table, clear);
  frame.source.swap(rect_);  // rect_ is written afresh for the next frame
}

// The frame's table holds only the entries its pixels use, renumbered: a
// frame that needs 40 of the 255 colours gets a table of 64 and 6-bit
// codes instead of 256 and 8 bits.
void FrameIndexer::WriteUsedEntries(IndexedFrame& frame, const std::vector<std::uint32_t>& table,
                                    bool clear) {
  const std::size_t n = frame.indices.size();
  std::array<bool, 256> used{};
  for (std::size_t i = 0; i < n; ++i) {
    if (!clear || changed_[i]) used[frame.indices[i]] = true;
  }
  const auto used_entries = static_cast<std::size_t>(std::count(used.begin(), used.end(), true));
  // The first frame: the whole quantised table becomes the global one when
  // the frame needs a table that large anyway.
  if (!clear && global_.palette.empty() && RoomForTransparent(table.size()) &&
      BitsFor(table.size()) == BitsFor(used_entries)) {
    AdoptGlobal(table, true, frame.indices);
  }
  // The first frame writes the header: once adopted, it must use the table.
  const bool same_table = global_.from_quantiser && global_.generation == quantiser_.generation();
  std::size_t top = 0;
  for (std::size_t k = 0; k < table.size() && same_table; ++k) {
    if (used[k]) top = std::max<std::size_t>(top, global_.to_entry[k]);
  }
  if (same_table && (!clear || GlobalPays(used_entries + 1, top))) {
    // The quantiser's table is the global one, reordered.
    ToGlobalEntries(frame);
    UseGlobal(frame, clear);
    if (clear) {
      for (std::size_t i = 0; i < n; ++i) {
        if (!changed_[i]) frame.indices[i] = static_cast<std::uint8_t>(global_.transparent);
      }
      OfferKeptPixels(frame);
    }
    return;
  }
  if (clear && !lossless_) TrimUsedEntries(frame, table, used);
  std::array<std::uint8_t, 256> renumbered{};
  frame.palette.clear();
  for (std::size_t k = 0; k < table.size(); ++k) {
    if (!used[k]) continue;
    renumbered[k] = static_cast<std::uint8_t>(frame.palette.size());
    frame.palette.push_back(table[k]);
  }
  const std::uint8_t t = CompleteTable(frame, clear);
  for (std::size_t i = 0; i < n; ++i) {
    frame.indices[i] = clear && !changed_[i] ? t : renumbered[frame.indices[i]];
  }
  if (clear) OfferKeptPixels(frame);
}

// TrimToSmallerTable for a quantised frame: where the entries it uses (with
// the transparent one) are just past a power of two, its rarest entries give
// way to the nearest entry left when that lies within the limit of every
// pixel that used them (the limit its lossy stand-ins have too).
void FrameIndexer::TrimUsedEntries(IndexedFrame& frame, const std::vector<std::uint32_t>& table,
                                   std::array<bool, 256>& used) {
  const auto m = static_cast<std::size_t>(std::count(used.begin(), used.end(), true));
  const int bits = BitsFor(m + 1);
  if (bits <= 2) return;
  const std::size_t fits = (std::size_t{1} << (bits - 1)) - 1;
  if (m <= fits || m - fits > m / kMostLeftOut) return;
  // The changed pixels grouped by entry.
  const std::size_t n = frame.indices.size();
  std::array<std::uint32_t, 257> start{};
  for (std::size_t i = 0; i < n; ++i) {
    if (changed_[i]) ++start[frame.indices[i] + 1u];
  }
  for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
  trim_pixels_.resize(start[256]);
  std::array<std::uint32_t, 256> at{};
  std::copy(start.begin(), start.end() - 1, at.begin());
  for (std::size_t i = 0; i < n; ++i) {
    if (changed_[i]) trim_pixels_[at[frame.indices[i]]++] = static_cast<std::uint32_t>(i);
  }
  std::vector<std::size_t> order;
  for (std::size_t k = 0; k < table.size(); ++k)
    if (used[k]) order.push_back(k);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return start[a + 1] - start[a] < start[b + 1] - start[b];
  });
  // 0: kept, 1: gives way, 2: kept as another entry's stand-in.
  std::array<std::uint8_t, 256> state{};
  std::array<std::uint8_t, 256> to{};
  std::size_t left = 0;
  for (const std::size_t e : order) {
    if (left == m - fits) break;
    if (state[e] != 0) continue;
    std::int64_t best = INT64_MAX;
    std::size_t alt = e;
    for (const std::size_t o : order) {
      if (o == e || state[o] == 1) continue;
      const std::int64_t d = Distance(table[o], table[e]);
      if (d < best) best = d, alt = o;
    }
    if (alt == e) continue;
    bool fits_all = true;
    for (std::uint32_t p = start[e]; p < start[e + 1] && fits_all; ++p) {
      const std::uint32_t i = trim_pixels_[p];
      fits_all = Distance(table[alt], rect_[i]) <= frame.limit[i];
    }
    if (!fits_all) continue;
    state[e] = 1;
    state[alt] = 2;
    to[e] = static_cast<std::uint8_t>(alt);
    ++left;
  }
  if (left < m - fits) return;
  for (std::size_t e = 0; e < 256; ++e) {
    if (state[e] != 1) continue;
    used[e] = false;
    for (std::uint32_t p = start[e]; p < start[e + 1]; ++p) frame.indices[trim_pixels_[p]] = to[e];
  }
}

// A pixel that may stay whose own colour is in the table may as well be
// written with it, where that continues LZW's current string: the viewer then
// sees its exact colour instead of what was kept.
void FrameIndexer::OfferKeptPixels(IndexedFrame& frame) {
  const auto entries = static_cast<std::size_t>(frame.transparent);
  table_order_.clear();
  for (std::size_t k = 0; k < entries; ++k) {
    table_order_.emplace_back(frame.palette[k], static_cast<std::uint8_t>(k));
  }
  std::sort(table_order_.begin(), table_order_.end());
  const std::size_t n = frame.indices.size();
  frame.either.assign(n, 0);
  std::uint32_t last = 0xFFFFFFFFu;
  int last_index = -1;
  for (std::size_t i = 0; i < n; ++i) {
    if (changed_[i]) continue;
    if (rect_[i] != last) {
      last = rect_[i];
      const auto at = std::lower_bound(table_order_.begin(), table_order_.end(),
                                       std::pair<std::uint32_t, std::uint8_t>(last, 0));
      last_index = at != table_order_.end() && at->first == last ? at->second : -1;
    }
    if (last_index < 0) continue;
    frame.indices[i] = static_cast<std::uint8_t>(last_index);
    frame.either[i] = EitherKind(i);
  }
}

std::uint8_t FrameIndexer::EitherKind(std::size_t i) const {
  return kept_exact_[i] ? kEitherSame : kEither;
}

// The table entry nearest to `colour` itself, cached per colour.
std::uint8_t FrameIndexer::Nearest(std::uint32_t colour) {
  constexpr std::size_t kSlots = 1u << 14;
  if (near_key_.empty() || near_generation_ != quantiser_.generation()) {
    near_key_.assign(kSlots, 0xFFFFFFFFu);
    near_index_.assign(kSlots, 0);
    near_generation_ = quantiser_.generation();
  }
  const std::size_t slot = (colour * 2654435761u) >> 18;
  if (near_key_[slot] != colour) {
    near_key_[slot] = colour;
    near_index_[slot] = quantiser_.MapExactly(colour);
  }
  return near_index_[slot];
}

// Keeps `colours` (at most 255) as the file's global table: the transparent
// entry first, then the colours from the one `indices` (the first frame's,
// numbered as `colours`) use most: frames of frequent colours then write
// small indices only and take shorter codes (NarrowCodeSize).
void FrameIndexer::AdoptGlobal(const std::vector<std::uint32_t>& colours, bool from_quantiser,
                               std::span<const std::uint8_t> indices) {
  std::array<std::uint64_t, 256> count{};
  for (const std::uint8_t k : indices) ++count[k];
  std::vector<std::size_t> by_use(colours.size());
  for (std::size_t k = 0; k < by_use.size(); ++k) by_use[k] = k;
  std::stable_sort(by_use.begin(), by_use.end(),
                   [&](std::size_t a, std::size_t b) { return count[a] > count[b]; });
  const std::uint32_t filler = colours.empty() ? 0 : colours.front();
  global_.palette.assign(1, filler);
  global_.to_entry.assign(colours.size(), 0);
  for (const std::size_t k : by_use) {
    global_.to_entry[k] = static_cast<std::uint8_t>(global_.palette.size());
    global_.palette.push_back(colours[k]);
  }
  global_.transparent = 0;
  global_.bits = BitsFor(global_.palette.size());
  global_.palette.resize(std::size_t{1} << global_.bits, filler);
  // A quantised table may hold a colour twice: the lookup numbers distinct
  // colours, so it keeps where each stands in the table.
  global_.lookup.Clear();
  global_.entry.clear();
  for (std::size_t k = 0; k < colours.size(); ++k) {
    const std::size_t distinct = global_.lookup.colours().size();
    global_.lookup.Add(colours[k], 256);
    if (global_.lookup.colours().size() > distinct) global_.entry.push_back(global_.to_entry[k]);
  }
  global_.order.Build(colours);
  global_.from_quantiser = from_quantiser;
  global_.generation = quantiser_.generation();
}

// Renumbers a frame's indices, numbered as the colours the global table was
// adopted from, to the table's entries.
void FrameIndexer::ToGlobalEntries(IndexedFrame& frame) const {
  for (std::uint8_t& index : frame.indices) index = global_.to_entry[index];
}

bool FrameIndexer::GlobalHolds(const std::vector<std::uint32_t>& colours) const {
  if (global_.palette.empty()) return false;
  return std::all_of(colours.begin(), colours.end(),
                     [&](std::uint32_t c) { return global_.lookup.Contains(c); });
}

// A table of its own costs 3 bytes an entry; the global one costs the frame
// wider codes where it needs more of its entries (`top`: the largest it
// writes): one bit more pays for itself on the frames measured, two bits do
// not.
bool FrameIndexer::GlobalPays(std::size_t local_entries, std::size_t top) const {
  return CodeBitsFor(top) <= BitsFor(local_entries) + kGlobalExtraBits;
}

// The code size a frame writing global entries up to `top` needs (see
// NarrowCodeSize), the transparent entry counted.
int FrameIndexer::CodeBitsFor(std::size_t top) const {
  return BitsFor(std::max<std::size_t>(top, static_cast<std::size_t>(std::max(global_.transparent, 0))) + 1);
}

// The global entry a colour is written with: its own, else the nearest.
std::uint8_t FrameIndexer::GlobalEntry(std::uint32_t colour) const {
  if (global_.lookup.Contains(colour)) return global_.entry[global_.lookup.IndexOf(colour)];
  return GlobalNearest(colour);
}

std::uint8_t FrameIndexer::GlobalNearest(std::uint32_t colour) const {
  return global_.to_entry[global_.order.Nearest(colour)];
}

// The largest global entry the colours counted in colours_ are written with.
std::size_t FrameIndexer::GlobalTop() const {
  std::size_t top = 0;
  for (const std::uint32_t c : colours_.colours()) top = std::max<std::size_t>(top, GlobalEntry(c));
  return top;
}

// The frame's table is the global one (indices must follow it).
void FrameIndexer::UseGlobal(IndexedFrame& frame, bool clear) {
  frame.palette = global_.palette;
  frame.bits = global_.bits;
  frame.transparent = clear ? global_.transparent : -1;
  frame.global_table = true;
}

// Whether every pixel to write either has its colour in the global table or
// may show the entry nearest to it (within its bound). Only where the other
// pixels may stay clear: elsewhere no bound is known.
bool FrameIndexer::GlobalServes(bool clear) {
  if (!clear || lossless_ || global_.palette.empty()) return false;
  std::uint32_t last = 0xFFFFFFFFu;
  std::int64_t last_error = 0;
  for (std::size_t i = 0; i < rect_.size(); ++i) {
    if (!changed_[i]) continue;
    if (rect_[i] != last) {
      last = rect_[i];
      last_error = global_.lookup.Contains(last)
                       ? 0
                       : Distance(global_.palette[GlobalNearest(last)], last);
    }
    if (last_error > rect_bound_[i]) return false;
  }
  return true;
}

// WriteExact with the global table: every colour to write is in it (or,
// with `stand_ins`, its nearest entry is within the pixel's bound), and a
// pixel that may stay is offered either way wherever its colour is in it.
void FrameIndexer::WriteGlobalExact(IndexedFrame& frame, bool clear, bool stand_ins) {
  UseGlobal(frame, clear);
  const auto t = static_cast<std::uint8_t>(std::max(frame.transparent, 0));
  if (clear) frame.either.assign(rect_.size(), 0);
  // A stand-in's bound goes with the frame, so that the display state takes it
  // for what it is (within the bound) and not for the best a table could do.
  if (stand_ins) frame.bound.assign(rect_.size(), 0);
  std::uint32_t last = 0xFFFFFFFFu;
  std::uint8_t last_index = 0;
  bool last_exact = true;
  for (std::size_t i = 0; i < rect_.size(); ++i) {
    const bool may_stay = clear && !changed_[i];
    if (rect_[i] != last) {
      last = rect_[i];
      last_exact = global_.lookup.Contains(last);
      last_index = last_exact ? global_.entry[global_.lookup.IndexOf(last)]
                   : stand_ins ? GlobalNearest(last)
                               : t;
    }
    if (may_stay) {
      frame.indices[i] = last_exact ? last_index : t;
      if (last_exact) frame.either[i] = EitherKind(i);
      continue;
    }
    frame.indices[i] = last_index;
    if (!last_exact) frame.bound[i] = rect_bound_[i];
  }
}

// Runs decide what LZW makes of a stream: whether the values change less
// often written opaque than with the unchanged pixels clear.
bool FrameIndexer::PreferOpaque() const {
  std::size_t transitions_opaque = 0, transitions_clear = 0;
  for (std::size_t i = 1; i < rect_.size(); ++i) {
    const unsigned differs = rect_[i] != rect_[i - 1];
    const unsigned a = changed_[i], b = changed_[i - 1];
    transitions_opaque += differs;
    transitions_clear += (a ^ b) | (a & differs);
  }
  return transitions_opaque < transitions_clear;
}

bool FrameIndexer::CountExact(bool changed_only, int limit) {
  colours_.Clear();
  std::uint32_t last = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < rect_.size(); ++i) {
    if (changed_only && !changed_[i]) continue;
    if (rect_[i] == last) continue;
    last = rect_[i];
    if (!colours_.Add(last, limit)) return false;
  }
  return true;
}

void FrameIndexer::WriteExact(IndexedFrame& frame, bool clear) {
  if (!global_.palette.empty() &&
      GlobalPays(colours_.colours().size() + (clear ? 1 : 0), GlobalTop())) {
    if (GlobalHolds(colours_.colours())) {
      WriteGlobalExact(frame, clear, false);
      return;
    }
    if (GlobalServes(clear)) {
      WriteGlobalExact(frame, clear, true);
      return;
    }
  }
  const bool trimmed = clear && !lossless_ && TrimToSmallerTable();
  frame.palette = colours_.colours();
  const std::uint8_t t = CompleteTable(frame, clear);
  std::uint32_t last = 0xFFFFFFFFu;
  std::uint8_t last_index = 0;
  bool last_kept = true;
  if (clear) frame.either.assign(rect_.size(), 0);
  // A colour left out lies within the bound of each of its pixels: that bound
  // goes with the frame (see WriteGlobalExact).
  if (trimmed) frame.bound.assign(rect_.size(), 0);
  for (std::size_t i = 0; i < rect_.size(); ++i) {
    if (clear && !changed_[i]) {
      if (colours_.Contains(rect_[i])) {
        frame.indices[i] = colours_.IndexOf(rect_[i]);
        frame.either[i] = EitherKind(i);
      } else {
        frame.indices[i] = t;
      }
      continue;
    }
    if (rect_[i] != last) {
      last = rect_[i];
      last_kept = !trimmed || colours_.Contains(last);
      last_index = last_kept ? colours_.IndexOf(last) : StandInFor(last);
    }
    frame.indices[i] = last_index;
    if (!last_kept) frame.bound[i] = rect_bound_[i];
  }
}

// An exact table just past a power of two costs twice the entries and a bit
// more per code. Where the rarest colours each have another colour of the
// table within the bound of every pixel that must show them, they are left
// out until the table (with its transparent entry) fits the size below.
// Leaves the kept colours in colours_ (StandInFor finds the others' stand-ins).
bool FrameIndexer::TrimToSmallerTable() {
  const std::vector<std::uint32_t> all = colours_.colours();
  const std::size_t m = all.size();
  const int bits = BitsFor(m + 1);
  if (bits <= 2) return false;
  const std::size_t fits = (std::size_t{1} << (bits - 1)) - 1;
  if (m <= fits || m - fits > m / kMostLeftOut) return false;
  // Per colour: the pixels that must show it, and the least bound among them.
  trim_count_.assign(m, 0);
  trim_bound_.assign(m, UINT32_MAX);
  std::uint32_t last = 0xFFFFFFFFu;
  std::size_t k = 0;
  for (std::size_t i = 0; i < rect_.size(); ++i) {
    if (!changed_[i]) continue;
    if (rect_[i] != last) {
      last = rect_[i];
      k = colours_.IndexOf(last);
    }
    ++trim_count_[k];
    trim_bound_[k] = std::min(trim_bound_[k], rect_bound_[i]);
  }
  std::vector<std::size_t> order(m);
  for (std::size_t c = 0; c < m; ++c) order[c] = c;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return trim_count_[a] < trim_count_[b]; });
  // 0: kept, 1: left out, 2: kept as another colour's stand-in.
  std::vector<std::uint8_t> state(m, 0);
  std::size_t left = 0;
  for (const std::size_t c : order) {
    if (left == m - fits) break;
    if (state[c] != 0) continue;
    std::int64_t best = INT64_MAX;
    std::size_t best_at = c;
    for (std::size_t o = 0; o < m; ++o) {
      if (o == c || state[o] == 1) continue;
      const std::int64_t d = Distance(all[o], all[c]);
      if (d < best) best = d, best_at = o;
    }
    if (best_at == c || (trim_count_[c] > 0 && best > trim_bound_[c])) continue;
    state[c] = 1;
    state[best_at] = 2;
    ++left;
  }
  if (left < m - fits) return false;
  colours_.Clear();
  for (std::size_t c = 0; c < m; ++c) {
    if (state[c] != 1) colours_.Add(all[c], 256);
  }
  kept_order_.Build(colours_.colours());
  return true;
}

// The kept colour nearest to a colour left out by TrimToSmallerTable.
std::uint8_t FrameIndexer::StandInFor(std::uint32_t colour) const {
  return static_cast<std::uint8_t>(kept_order_.Nearest(colour));
}

}  // namespace orvamy::gif
