#include "output/gif/gif_palette.h"

#include <algorithm>
#include <cstring>

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

std::uint8_t ExactColours::IndexOf(std::uint32_t colour) const {
  std::uint32_t slot = Slot(colour);
  while (keys_[slot] != colour) slot = (slot + 1) & (kSlots - 1);
  return values_[slot];
}

std::int64_t Distance(std::uint32_t a, std::uint32_t b) {
  const auto channel = [](std::uint32_t c, int shift) { return static_cast<std::int64_t>((c >> shift) & 0xFF); };
  const std::int64_t dr = channel(a, 16) - channel(b, 16);
  const std::int64_t dg = channel(a, 8) - channel(b, 8);
  const std::int64_t db = channel(a, 0) - channel(b, 0);
  return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

Quantiser::Quantiser()
    : counts_(1u << 15, 0), sums_(3u << 15, 0), cache_(1u << 15, kUnknown) {}

namespace {

int Channel(std::uint32_t c, int axis) { return static_cast<int>((c >> (16 - 8 * axis)) & 0xFF); }

std::uint32_t CellCentre(std::uint32_t cell) {
  const std::uint32_t r = ((cell >> 10) & 31) << 3 | 4;
  const std::uint32_t g = ((cell >> 5) & 31) << 3 | 4;
  const std::uint32_t b = (cell & 31) << 3 | 4;
  return r << 16 | g << 8 | b;
}

}  // namespace

std::uint16_t Quantiser::Nearest(std::uint32_t cell) const {
  const std::uint32_t c = CellCentre(cell);
  std::int64_t best = -1;
  std::uint16_t best_index = 0;
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    const std::int64_t d = Distance(c, palette_[i]);
    if (best < 0 || d < best) {
      best = d;
      best_index = static_cast<std::uint16_t>(i);
    }
  }
  return best_index;
}

void Quantiser::Prepare(std::span<const std::uint32_t> pixels, std::span<const std::uint8_t> use,
                        int max_colours) {
  std::fill(counts_.begin(), counts_.end(), 0u);
  std::fill(sums_.begin(), sums_.end(), std::uint64_t{0});
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if (!use.empty() && !use[i]) continue;
    const std::uint32_t c = pixels[i];
    const std::uint32_t cell = Cell(c);
    ++counts_[cell];
    sums_[3 * cell] += (c >> 16) & 0xFF;
    sums_[3 * cell + 1] += (c >> 8) & 0xFF;
    sums_[3 * cell + 2] += c & 0xFF;
  }
  bins_.clear();
  for (std::uint32_t cell = 0; cell < counts_.size(); ++cell) {
    if (counts_[cell]) bins_.push_back({cell, counts_[cell], sums_[3 * cell], sums_[3 * cell + 1],
                                        sums_[3 * cell + 2]});
  }
  if (bins_.empty()) return;

  // Median cut: split the box with the largest weighted spread along its
  // widest channel at the weighted median, until the table is full.
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
  double fresh_error = 0;
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
    fresh_error += box.error;
  }

  // One k-means round: every bin moves to its nearest entry, every entry to
  // the mean of its bins. Median cut's boxes have straight edges; this lets
  // the entries follow the colour clusters.
  {
    const std::size_t k = fresh.size();
    std::vector<std::uint64_t> acc(4 * k, 0);
    for (const Bin& b : bins_) {
      const std::uint32_t mean = static_cast<std::uint32_t>(b.r / b.count) << 16 |
                                 static_cast<std::uint32_t>(b.g / b.count) << 8 |
                                 static_cast<std::uint32_t>(b.b / b.count);
      std::size_t best = 0;
      std::int64_t best_d = Distance(mean, fresh[0]);
      for (std::size_t i = 1; i < k && best_d > 0; ++i) {
        const std::int64_t d = Distance(mean, fresh[i]);
        if (d < best_d) {
          best_d = d;
          best = i;
        }
      }
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

  // Keep the table in use when it does nearly as well: its colours stay put
  // across frames, and its cache stays warm.
  if (!palette_.empty() && palette_.size() <= static_cast<std::size_t>(max_colours)) {
    double kept_error = 0;
    std::uint64_t n = 0;
    for (const Bin& b : bins_) {
      std::uint16_t& cached = cache_[b.cell];
      if (cached == kUnknown) cached = Nearest(b.cell);
      const std::uint32_t mean = static_cast<std::uint32_t>(b.r / b.count) << 16 |
                                 static_cast<std::uint32_t>(b.g / b.count) << 8 |
                                 static_cast<std::uint32_t>(b.b / b.count);
      std::uint32_t p = palette_[cached];
      const double dr = Channel(mean, 0) - Channel(p, 0);
      const double dg = Channel(mean, 1) - Channel(p, 1);
      const double db = Channel(mean, 2) - Channel(p, 2);
      kept_error += (dr * dr + dg * dg + db * db) * b.count;
      n += b.count;
    }
    // Within 25 % of a fresh table, or below 2 levels per channel on average.
    if (kept_error <= fresh_error * 1.25 || kept_error <= 12.0 * static_cast<double>(n)) return;
  }
  palette_ = std::move(fresh);
  std::fill(cache_.begin(), cache_.end(), kUnknown);
}

}  // namespace orvamy::gif
