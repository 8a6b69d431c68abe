// LZW streams decoded by giflib: every code width, table-full clears, and a
// frame compressed in two parts (head and tail joined at any bit offset).
#if ORVAMY_HAVE_GIFLIB

#include "output/gif/gif_lzw.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace orvamy::gif {
namespace {

struct Memory {
  std::vector<std::uint8_t> bytes;
  std::size_t at = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* to, int n) {
  auto* m = static_cast<Memory*>(gif->UserData);
  const std::size_t k = std::min(static_cast<std::size_t>(n), m->bytes.size() - m->at);
  std::memcpy(to, m->bytes.data() + m->at, k);
  m->at += k;
  return static_cast<int>(k);
}

// One frame of w x h with a table of 1 << bits grey levels around `data`.
std::vector<std::uint8_t> Decode(int w, int h, int bits, const std::vector<std::uint8_t>& data) {
  Memory m;
  const auto u8 = [](int v) { return static_cast<std::uint8_t>(v); };
  m.bytes = {'G', 'I', 'F', '8', '9', 'a', u8(w), u8(w >> 8), u8(h), u8(h >> 8), u8(0x80 | (bits - 1)), 0, 0};
  for (int i = 0; i < (3 << bits); ++i) m.bytes.push_back(u8(i));
  m.bytes.push_back(0x2C);
  for (int v : {0, 0, w, h}) {
    m.bytes.push_back(u8(v));
    m.bytes.push_back(u8(v >> 8));
  }
  m.bytes.push_back(0);
  m.bytes.insert(m.bytes.end(), data.begin(), data.end());
  m.bytes.push_back(0x3B);
  int error = 0;
  GifFileType* gif = DGifOpen(&m, ReadMemory, &error);
  if (!gif) return {};
  std::vector<std::uint8_t> pixels;
  if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1) {
    pixels.assign(gif->SavedImages[0].RasterBits, gif->SavedImages[0].RasterBits + w * h);
  }
  DGifCloseFile(gif, &error);
  return pixels;
}

TEST(GifLzw, EveryWidthAndEverySplitDecodesExactly) {
  std::mt19937 rng(1);
  const int w = 397, h = 311;
  for (int bits = 2; bits <= 8; ++bits) {
    for (const char* pattern : {"noise", "ramps", "flat"}) {
      std::vector<std::uint8_t> indices(static_cast<std::size_t>(w) * h);
      for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::uint32_t v = pattern[0] == 'n' ? static_cast<std::uint32_t>(rng()) : pattern[0] == 'r' ? static_cast<std::uint32_t>(i / 7) : 0u;
        indices[i] = static_cast<std::uint8_t>(v & ((1u << bits) - 1));
      }
      // -1: one piece; otherwise the head's length.
      for (int split : {-1, 0, 1, 3, 7, 1000, 60000, w * h - 1}) {
        SCOPED_TRACE(testing::Message() << "bits " << bits << " " << pattern << " split " << split);
        std::vector<std::uint8_t> data;
        if (split < 0) {
          AppendLzwImageData(indices, bits, data);
        } else {
          const std::span<const std::uint8_t> all(indices);
          LzwBits head, tail;
          EncodeLzw(all.first(static_cast<std::size_t>(split)), bits, LzwPart::kHead, nullptr, head);
          EncodeLzw(all.subspan(static_cast<std::size_t>(split)), bits, LzwPart::kTail, nullptr, tail);
          AppendImageData(bits, head, &tail, data);
        }
        // Sub-blocks: never longer than 255 bytes, one empty block at the end.
        std::size_t at = 1;
        while (data[at] != 0) {
          at += data[at] + 1u;
        }
        EXPECT_EQ(at + 1, data.size());
        ASSERT_EQ(Decode(w, h, bits, data), indices);
      }
    }
  }
}

TEST(GifLzw, StandInsOnlyReplaceIndicesByTheirListedNeighbours) {
  // Indices 0..15; each may be replaced by its neighbour one up or one down.
  Alternatives near;
  std::memset(near.of, 0xFF, sizeof(near.of));
  for (int i = 0; i < 16; ++i) {
    near.of[i][0] = static_cast<std::uint8_t>(i < 15 ? i + 1 : i - 1);
    near.of[i][1] = static_cast<std::uint8_t>(i > 0 ? i - 1 : i + 1);
  }
  std::mt19937 rng(3);
  std::vector<std::uint8_t> indices(200 * 150);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    indices[i] = static_cast<std::uint8_t>(std::clamp<int>(8 + static_cast<int>(rng() % 3) - 1 + static_cast<int>(i % 200) / 50, 0, 15));
  }
  std::vector<std::uint8_t> exact, lossy;
  AppendLzwImageData(indices, 4, exact);
  AppendLzwImageData(indices, 4, lossy, &near);
  EXPECT_LT(lossy.size(), exact.size());
  const auto shown = Decode(200, 150, 4, lossy);
  ASSERT_EQ(shown.size(), indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) {
    ASSERT_LE(std::abs(shown[i] - indices[i]), 1) << i;
  }
}

}  // namespace
}  // namespace orvamy::gif

#endif  // ORVAMY_HAVE_GIFLIB
