// Colour tables: the nearest-entry search by green order must pick exactly the
// entry a search of the whole table picks (the lowest index among the nearest),
// since the encoder's output depends on it.
#include "output/gif/gif_palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace orvamy::gif {
namespace {

std::size_t NearestByFullSearch(std::uint32_t c, const std::vector<std::uint32_t>& table) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < table.size(); ++i) {
    if (Distance(c, table[i]) < Distance(c, table[best])) best = i;
  }
  return best;
}

TEST(GifPalette, GreenOrderFindsTheSameEntryAsAFullSearch) {
  struct Case {
    const char* name;
    std::size_t size;
    std::uint32_t mask;  // narrows the colours, so that greens and distances tie
  };
  const Case cases[] = {{"one entry", 1, 0xFFFFFF},
                        {"full table", 255, 0xFFFFFF},
                        {"coarse colours with ties and duplicates", 200, 0xC0C0C0},
                        {"one green level", 64, 0xFF00FF},
                        {"a few entries", 5, 0xF0F0F0}};
  std::mt19937 rng(11);
  for (const Case& c : cases) {
    std::vector<std::uint32_t> table(c.size);
    for (auto& e : table) e = static_cast<std::uint32_t>(rng()) & c.mask;
    GreenOrder order;
    order.Build(table);
    for (int k = 0; k < 4000; ++k) {
      const std::uint32_t colour = k < 256 ? (static_cast<std::uint32_t>(k) * 0x010101u) : (static_cast<std::uint32_t>(rng()) & 0xFFFFFFu);
      ASSERT_EQ(order.Nearest(colour), NearestByFullSearch(colour, table))
          << c.name << ", colour " << std::hex << colour;
    }
  }
  GreenOrder empty;
  empty.Build({});
  EXPECT_EQ(empty.Nearest(0x123456), 0u);
}

// Flat areas in colours a median cut would blend with their neighbours (a
// black terminal next to dark grey text) keep their exact colours.
TEST(GifPalette, ColoursOfFlatAreasGetExactEntries) {
  std::vector<std::uint32_t> pixels;
  std::mt19937 rng(5);
  for (int row = 0; row < 200; ++row) {
    for (int x = 0; x < 300; ++x) {
      std::uint32_t c = 0x000000;                  // the terminal's background
      if (x >= 200) c = 0xF0F0F0;                  // a light panel
      if (x % 6 == 1) c = 0x010101u * static_cast<std::uint32_t>(1 + rng() % 6);  // near-black anti-aliased edges
      if (row >= 150) c = static_cast<std::uint32_t>(rng() & 0xFFFFFF);  // a photo
      pixels.push_back(c);
    }
  }
  Quantiser q;
  q.Prepare(pixels, {}, 255);
  for (const std::uint32_t flat : {0x000000u, 0xF0F0F0u}) {
    const auto& table = q.palette();
    EXPECT_NE(std::find(table.begin(), table.end(), flat), table.end()) << std::hex << flat;
    EXPECT_EQ(table[q.MapExactly(flat)], flat) << std::hex << flat;
  }
  EXPECT_LE(q.palette().size(), 255u);
}

}  // namespace
}  // namespace orvamy::gif
