// LZW streams decoded by giflib: every code width, table-full clears, and a
// frame compressed in two parts (head and tail joined at any bit offset).
#if ORVAMY_HAVE_GIFLIB

#include "output/gif/gif_lzw.h"
#include "output/gif/gif_palette.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>

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

// A 16-level grey table (index i shows grey 96 + 4 i) and a noisy gradient
// whose source greys fall between the levels.
struct NoisyGradient {
  static constexpr int kW = 200, kH = 150;
  std::vector<std::uint32_t> palette, source;
  std::vector<std::uint8_t> indices;
  NoisyGradient() {
    for (std::uint32_t i = 0; i < 16; ++i) palette.push_back((96 + 4 * i) * 0x010101u);
    std::mt19937 rng(3);
    for (int i = 0; i < kW * kH; ++i) {
      const int grey = std::clamp(100 + (i % kW) / 8 + static_cast<int>(rng() % 13) - 6, 96, 156);
      source.push_back(static_cast<std::uint32_t>(grey) * 0x010101u);
      indices.push_back(static_cast<std::uint8_t>((grey - 96 + 2) / 4));
    }
  }
};

TEST(GifLzw, LossyMatchingStaysWithinItsErrorOfTheSourceAndNeverTouchesTransparency) {
  NoisyGradient g;
  // Every 7th pixel transparent (index 15 stands for it here).
  for (std::size_t i = 0; i < g.indices.size(); i += 7) g.indices[i] = 15;
  std::vector<std::uint8_t> exact;
  AppendLzwImageData(g.indices, 4, exact);
  for (const std::int64_t max_error : {std::int64_t{300}, std::int64_t{2000}}) {
    SCOPED_TRACE(max_error);
    LzwChoices choices;
    choices.transparent = 15;
    choices.source = g.source;
    choices.palette = g.palette;
    choices.max_error = max_error;
    std::vector<std::uint8_t> lossy;
    AppendLzwImageData(g.indices, 4, lossy, &choices);
    EXPECT_LT(lossy.size(), exact.size());
    const auto shown = Decode(NoisyGradient::kW, NoisyGradient::kH, 4, lossy);
    ASSERT_EQ(shown.size(), g.indices.size());
    for (std::size_t i = 0; i < g.indices.size(); ++i) {
      if (g.indices[i] == 15 || shown[i] == 15) {
        ASSERT_EQ(shown[i], g.indices[i]) << i;
      } else if (shown[i] != g.indices[i]) {
        ASSERT_LE(Distance(g.palette[shown[i]], g.source[i]), max_error) << i;
      }
    }
  }
}

// Pictures whose unchanged pixels (`either`) code shortest written in
// different ways: clear where they break repeating rows, in their own colour
// where most of the picture stays.
struct EitherCase {
  const char* name;
  // Index (0..6) and whether the pixel may stay, at column x of row y.
  std::uint8_t (*index)(int x, int y, std::mt19937& rng);
  bool (*unchanged)(int x, int y, std::mt19937& rng);
};

TEST(GifLzw, UnchangedPixelsGoEitherWayEveryOtherPixelStaysExactAndTheShortestWayIsKept) {
  constexpr int kW = 120, kH = 80, kClear = 7;
  const EitherCase cases[] = {
      // Rows alternate between a pattern and the same pattern with unchanged
      // stretches: written clear, those break the strings.
      {"unchanged stretches on every other row",
       [](int x, int y, std::mt19937&) { return static_cast<std::uint8_t>((y * kW + x) % 5); },
       [](int x, int y, std::mt19937&) { return y % 2 == 1 && x % 10 < 6; }},
      // A moved picture of repeating rows with scattered pixels that came
      // back to what was shown.
      {"scattered unchanged pixels in repeating rows",
       [](int x, int, std::mt19937&) { return static_cast<std::uint8_t>(x / 3 % 7); },
       [](int, int, std::mt19937& rng) { return rng() % 4 == 0; }},
      // Noise that mostly stays, changed only in a band.
      {"noise that stays outside a band",
       [](int, int, std::mt19937& rng) { return static_cast<std::uint8_t>(rng() % 7); },
       [](int, int y, std::mt19937&) { return y < 30 || y >= 40; }},
  };
  for (const EitherCase& c : cases) {
    std::mt19937 rng(5);
    std::vector<std::uint8_t> indices(kW * kH), either(kW * kH, 0), clear_written(kW * kH);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const auto i = static_cast<std::size_t>(y * kW + x);
        indices[i] = c.index(x, y, rng);
        either[i] = c.unchanged(x, y, rng) ? kEitherSame : 0;  // showing their own colour
        clear_written[i] = either[i] ? static_cast<std::uint8_t>(kClear) : indices[i];
      }
    }
    std::vector<std::uint8_t> all_own, all_clear;
    AppendLzwImageData(indices, 3, all_own);
    AppendLzwImageData(clear_written, 3, all_clear);
    for (const int split : {-1, kW * kH / 3}) {
      SCOPED_TRACE(testing::Message() << c.name << ", split " << split);
      std::vector<std::uint8_t> data, written(indices.size(), 0xFF);
      LzwChoices choices;
      choices.transparent = kClear;
      choices.either = either;
      choices.written = written;
      if (split < 0) {
        AppendLzwImageData(indices, 3, data, &choices);
        EXPECT_LE(data.size(), std::min(all_own.size(), all_clear.size()));
      } else {
        const std::span<const std::uint8_t> all(indices);
        const auto at = static_cast<std::size_t>(split);
        LzwChoices tail_choices = choices;
        tail_choices.either = std::span<const std::uint8_t>(either).subspan(at);
        tail_choices.written = std::span<std::uint8_t>(written).subspan(at);
        LzwBits head, tail;
        EncodeLzw(all.first(at), 3, LzwPart::kHead, &choices, head);
        EncodeLzw(all.subspan(at), 3, LzwPart::kTail, &tail_choices, tail);
        AppendImageData(3, head, &tail, data);
      }
      const auto shown = Decode(kW, kH, 3, data);
      ASSERT_EQ(shown.size(), indices.size());
      // What the encoder reports as written is what the viewer decodes.
      ASSERT_EQ(written, shown);
      for (std::size_t i = 0; i < indices.size(); ++i) {
        if (either[i]) {
          ASSERT_TRUE(shown[i] == indices[i] || shown[i] == kClear) << i;
        } else {
          ASSERT_EQ(shown[i], indices[i]) << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvamy::gif

#endif  // ORVAMY_HAVE_GIFLIB
