#include "output/gif/gif_palette.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace orvamy::gif {

void ExactColours::Clear() {
  std::fill(std::begin(keys_), std::end(keys_), kFree);
  colours_.clear();
  initialised_ = true;
}

bool ExactColours::Add(std::uint32_t colour, int limit) {
  if (!initialised_) Clear();
  std::uint32_t slot = Slot(colour);
  while (keys_[slot] != kFree) {
    if (keys_[slot] == colour) return true;
    slot = (slot + 1) & (kSlots - 1);
  }
  if (static_cast<int>(colours_.size()) >= limit) return false;
  keys_[slot] = colour;
  values_[slot] = static_cast<std::uint8_t>(colours_.size());
  colours_.push_back(colour);
  return true;
}

bool ExactColours::Contains(std::uint32_t colour) const {
  if (!initialised_) return false;
  std::uint32_t slot = Slot(colour);
  while (keys_[slot] != kFree) {
    if (keys_[slot] == colour) return true;
    slot = (slot + 1) & (kSlots - 1);
  }
  return false;
}

std::uint8_t ExactColours::IndexOf(std::uint32_t colour) const {
  std::uint32_t slot = Slot(colour);
  while (keys_[slot] != colour) slot = (slot + 1) & (kSlots - 1);
  return values_[slot];
}

void RunColours::Clear() {
  for (std::uint32_t slot : used_) {
    keys_[slot] = kFree;
    counts_[slot] = 0;
  }
  used_.clear();
}

void RunColours::Add(std::uint32_t colour, std::uint32_t count) {
  std::uint32_t slot = (colour * 2654435761u) >> 20;
  while (keys_[slot] != kFree) {
    if (keys_[slot] == colour) {
      counts_[slot] += count;
      return;
    }
    slot = (slot + 1) & (kSlots - 1);
  }
  if (used_.size() >= kSlots * 3 / 4) return;  // full enough: probes would grow long
  keys_[slot] = colour;
  counts_[slot] = count;
  used_.push_back(slot);
}

std::vector<std::pair<std::uint32_t, std::uint64_t>> RunColours::Popular(std::uint64_t min_count,
                                                                         std::size_t limit) const {
  std::vector<std::pair<std::uint32_t, std::uint64_t>> out;
  for (std::uint32_t slot : used_) {
    if (counts_[slot] >= min_count) out.emplace_back(keys_[slot], counts_[slot]);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  if (out.size() > limit) out.resize(limit);
  return out;
}

Quantiser::Quantiser() : cells_(1u << 15), cache_(1u << 15, kUnknown) {}

namespace {

int Channel(std::uint32_t c, int axis) { return static_cast<int>((c >> (16 - 8 * axis)) & 0xFF); }

std::uint32_t CellCentre(std::uint32_t cell) {
  const std::uint32_t r = ((cell >> 10) & 31) << 3 | 4;
  const std::uint32_t g = ((cell >> 5) & 31) << 3 | 4;
  const std::uint32_t b = (cell & 31) << 3 | 4;
  return r << 16 | g << 8 | b;
}

}  // namespace

void GreenOrder::Build(std::span<const std::uint32_t> table) {
  entries_.clear();
  for (std::size_t i = 0; i < table.size(); ++i) {
    entries_.push_back({table[i], static_cast<std::uint16_t>(i), static_cast<std::uint8_t>(Channel(table[i], 1))});
  }
  std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return a.green != b.green ? a.green < b.green : a.index < b.index;
  });
  std::size_t at = 0;
  for (int g = 0; g <= 256; ++g) {
    while (at < entries_.size() && entries_[at].green < g) ++at;
    first_[static_cast<std::size_t>(g)] = static_cast<std::uint16_t>(at);
  }
}

std::size_t GreenOrder::Nearest(std::uint32_t c) const {
  const std::size_t n = entries_.size();
  if (n == 0) return 0;
  const int g = Channel(c, 1);
  std::size_t up = first_[static_cast<std::size_t>(g)], down = up;  // [down, up) searched
  std::int64_t best = INT64_MAX;
  std::size_t best_index = n;
  const auto consider = [&](const Entry& e) {
    const std::int64_t d = Distance(c, e.colour);
    if (d < best || (d == best && e.index < best_index)) {
      best = d;
      best_index = e.index;
    }
  };
  bool going_up = up < n, going_down = down > 0;
  while (going_up || going_down) {
    if (going_up) {
      const Entry& e = entries_[up];
      const int dg = e.green - g;
      if (4 * dg * dg > best) {
        going_up = false;
      } else {
        consider(e);
        going_up = ++up < n;
      }
    }
    if (going_down) {
      const Entry& e = entries_[down - 1];
      const int dg = g - e.green;
      if (4 * dg * dg > best) {
        going_down = false;
      } else {
        consider(e);
        going_down = --down > 0;
      }
    }
  }
  return best_index;
}

std::uint16_t Quantiser::Nearest(std::uint32_t cell) const {
  return static_cast<std::uint16_t>(order_.Nearest(CellCentre(cell)));
}

namespace {

// Adds a histogram of 32-bit sums to the 64-bit one and clears it.
void Spill(std::vector<Quantiser::Cell32>& from, std::vector<Quantiser::Cell64>& to) {
  for (std::size_t i = 0; i < from.size(); ++i) {
    Quantiser::Cell32& f = from[i];
    if (f.count == 0) continue;
    to[i].count += f.count;
    to[i].r += f.r;
    to[i].g += f.g;
    to[i].b += f.b;
    f = {};
  }
}

}  // namespace

void Quantiser::Prepare(std::span<const std::uint32_t> pixels, std::span<const std::uint8_t> use,
                        int max_colours) {
  const std::uint64_t used = CountColours(pixels, use);
  ReserveFlatColours(used, max_colours);
  if (bins_.empty() && reserved_.empty()) return;
  double fresh_error = 0;
  std::vector<std::uint32_t> fresh;
  if (!bins_.empty()) {
    fresh = MedianCut(max_colours - static_cast<int>(reserved_.size()), fresh_error);
    RefineOnce(fresh);
  }
  fresh.insert(fresh.begin(), reserved_.begin(), reserved_.end());
  fresh.resize(std::min(fresh.size(), static_cast<std::size_t>(std::max(1, max_colours))));
  if (KeepsCurrentTable(fresh_error, max_colours)) return;
  palette_ = std::move(fresh);
  ++generation_;
  order_.Build(palette_);
  std::fill(cache_.begin(), cache_.end(), kUnknown);
}

// Phase 1: counts and channel sums per 15-bit cell in one 16-byte entry,
// gathered into bins_. The 32-bit sums hold 2^24 pixels of 255; larger
// areas spill into 64-bit sums.
std::uint64_t Quantiser::CountColours(std::span<const std::uint32_t> pixels,
                                      std::span<const std::uint8_t> use) {
  // Runs at least this long are flat areas: their colours are counted exactly.
  constexpr std::uint32_t kFlatRun = 4;
  runs_.Clear();
  std::uint64_t used = 0;
  constexpr std::size_t kChunk = std::size_t{1} << 24;
  const bool spills = pixels.size() > kChunk;
  if (spills) wide_.assign(cells_.size(), Cell64{});
  std::fill(cells_.begin(), cells_.end(), Cell32{});
  for (std::size_t from = 0; from < pixels.size(); from += kChunk) {
    const std::size_t to = std::min(pixels.size(), from + kChunk);
    // Runs of one colour (common on screens) are added once.
    std::uint32_t colour = 0, run = 0;
    const auto add = [&] {
      used += run;
      if (run >= kFlatRun) runs_.Add(colour, run);
      Cell32& e = cells_[Cell(colour)];
      e.count += run;
      e.r += run * ((colour >> 16) & 0xFF);
      e.g += run * ((colour >> 8) & 0xFF);
      e.b += run * (colour & 0xFF);
    };
    for (std::size_t i = from; i < to; ++i) {
      if (!use.empty() && !use[i]) continue;
      const std::uint32_t c = pixels[i];
      if (c == colour && run > 0) {
        ++run;
        continue;
      }
      if (run > 0) add();
      colour = c;
      run = 1;
    }
    if (run > 0) add();
    if (spills) Spill(cells_, wide_);
  }
  bins_.clear();
  for (std::uint32_t cell = 0; cell < cells_.size(); ++cell) {
    if (spills) {
      const Cell64& e = wide_[cell];
      if (e.count) bins_.push_back({cell, static_cast<std::uint32_t>(e.count), e.r, e.g, e.b});
    } else {
      const Cell32& e = cells_[cell];
      if (e.count) bins_.push_back({cell, e.count, e.r, e.g, e.b});
    }
  }
  return used;
}

// Colours that cover flat areas get exact entries: a flat area in a colour
// the table only comes near shows as an even tint (a black terminal as
// 1/1/1), which the eye and SSIM both see. Their run pixels leave the
// histogram, so the median cut spends its entries on the rest.
void Quantiser::ReserveFlatColours(std::uint64_t used_pixels, int max_colours) {
  constexpr std::uint64_t kMinPixels = 16;
  constexpr std::uint64_t kShareOfArea = 500;  // 0.2 %
  reserved_.clear();
  const auto popular = runs_.Popular(std::max(kMinPixels, used_pixels / kShareOfArea),
                                     static_cast<std::size_t>(std::max(0, max_colours / 4)));
  for (const auto& [colour, count] : popular) {
    const std::uint32_t cell = Cell(colour);
    const auto bin = std::lower_bound(bins_.begin(), bins_.end(), cell,
                                      [](const Bin& b, std::uint32_t c) { return b.cell < c; });
    if (bin == bins_.end() || bin->cell != cell) continue;
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, bin->count));
    bin->count -= n;
    bin->r -= std::min<std::uint64_t>(bin->r, std::uint64_t{n} * ((colour >> 16) & 0xFF));
    bin->g -= std::min<std::uint64_t>(bin->g, std::uint64_t{n} * ((colour >> 8) & 0xFF));
    bin->b -= std::min<std::uint64_t>(bin->b, std::uint64_t{n} * (colour & 0xFF));
    reserved_.push_back(colour);
  }
  bins_.erase(std::remove_if(bins_.begin(), bins_.end(), [](const Bin& b) { return b.count == 0; }),
              bins_.end());
}

// Phase 2, median cut: split the box with the largest weighted spread along
// its widest channel at the weighted median, until the table is full. Gives
// the boxes' means and, in `error`, their total spread.
std::vector<std::uint32_t> Quantiser::MedianCut(int max_colours, double& error) {
  struct Box {
    std::size_t begin, end;
    double error;
    int axis;
  };
  const auto mean_of = [](const Bin& b, int axis) {
    const std::uint64_t s = axis == 0 ? b.r : axis == 1 ? b.g : b.b;
    return static_cast<double>(s) / b.count;
  };
  const auto measure = [&](std::size_t begin, std::size_t end) {
    Box box{begin, end, 0.0, 0};
    double best = -1;
    for (int axis = 0; axis < 3; ++axis) {
      double n = 0, s = 0, s2 = 0;
      for (std::size_t i = begin; i < end; ++i) {
        const double m = mean_of(bins_[i], axis);
        n += bins_[i].count;
        s += m * bins_[i].count;
        s2 += m * m * bins_[i].count;
      }
      const double spread = s2 - s * s / n;
      box.error += spread;
      if (spread > best) {
        best = spread;
        box.axis = axis;
      }
    }
    if (end - begin < 2) box.error = 0;
    return box;
  };
  std::vector<Box> boxes{measure(0, bins_.size())};
  while (static_cast<int>(boxes.size()) < max_colours) {
    auto widest = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.error < b.error; });
    if (widest->error <= 0) break;
    const Box box = *widest;
    std::sort(bins_.begin() + static_cast<std::ptrdiff_t>(box.begin),
              bins_.begin() + static_cast<std::ptrdiff_t>(box.end),
              [&](const Bin& a, const Bin& b) { return mean_of(a, box.axis) < mean_of(b, box.axis); });
    std::uint64_t total = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) total += bins_[i].count;
    std::uint64_t run = 0;
    std::size_t split = box.begin + 1;
    for (std::size_t i = box.begin; i < box.end - 1; ++i) {
      run += bins_[i].count;
      split = i + 1;
      if (2 * run >= total) break;
    }
    *widest = measure(box.begin, split);
    boxes.push_back(measure(split, box.end));
  }

  std::vector<std::uint32_t> fresh;
  fresh.reserve(boxes.size());
  error = 0;
  for (const Box& box : boxes) {
    std::uint64_t n = 0, r = 0, g = 0, b = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
      n += bins_[i].count;
      r += bins_[i].r;
      g += bins_[i].g;
      b += bins_[i].b;
    }
    const auto avg = [n](std::uint64_t s) { return static_cast<std::uint32_t>((s + n / 2) / n); };
    fresh.push_back(avg(r) << 16 | avg(g) << 8 | avg(b));
    error += box.error;
  }
  return fresh;
}

// Phase 3, one k-means round: every bin moves to its nearest entry, every
// entry to the mean of its bins. Median cut's boxes have straight edges; this
// lets the entries follow the colour clusters.
void Quantiser::RefineOnce(std::vector<std::uint32_t>& fresh) {
  const std::size_t k = fresh.size();
  fresh_order_.Build(fresh);
  std::vector<std::uint64_t> acc(4 * k, 0);
  for (const Bin& b : bins_) {
    const std::size_t best = fresh_order_.Nearest(MeanColour(b));
    acc[4 * best] += b.count;
    acc[4 * best + 1] += b.r;
    acc[4 * best + 2] += b.g;
    acc[4 * best + 3] += b.b;
  }
  for (std::size_t i = 0; i < k; ++i) {
    const std::uint64_t n = acc[4 * i];
    if (n == 0) continue;
    const auto avg = [n](std::uint64_t v) { return static_cast<std::uint32_t>((v + n / 2) / n); };
    fresh[i] = avg(acc[4 * i + 1]) << 16 | avg(acc[4 * i + 2]) << 8 | avg(acc[4 * i + 3]);
  }
}

// Phase 4: keep the table in use when it does nearly as well as a fresh one:
// its colours stay put across frames, and its cache stays warm.
bool Quantiser::KeepsCurrentTable(double fresh_error, int max_colours) {
  if (palette_.empty() || palette_.size() > static_cast<std::size_t>(max_colours)) return false;
  for (const std::uint32_t colour : reserved_) {
    if (palette_[order_.Nearest(colour)] != colour) return false;
  }
  double kept_error = 0;
  std::uint64_t n = 0;
  for (const Bin& b : bins_) {
    std::uint16_t& cached = cache_[b.cell];
    if (cached == kUnknown) cached = Nearest(b.cell);
    const std::uint32_t mean = MeanColour(b);
    std::uint32_t p = palette_[cached];
    const double dr = Channel(mean, 0) - Channel(p, 0);
    const double dg = Channel(mean, 1) - Channel(p, 1);
    const double db = Channel(mean, 2) - Channel(p, 2);
    kept_error += (dr * dr + dg * dg + db * db) * b.count;
    n += b.count;
  }
  // Within 25 % of a fresh table, or below 2 levels per channel on average.
  return kept_error <= fresh_error * 1.25 || kept_error <= 12.0 * static_cast<double>(n);
}

std::uint32_t Quantiser::MeanColour(const Bin& b) {
  return static_cast<std::uint32_t>(b.r / b.count) << 16 |
         static_cast<std::uint32_t>(b.g / b.count) << 8 | static_cast<std::uint32_t>(b.b / b.count);
}

}  // namespace orvamy::gif
