#include "capture/bmp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace orvamy {
namespace {

std::uint32_t Read32(const ByteArray& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint32_t Read16(const ByteArray& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

struct LayoutCase {
  std::int32_t width, height;
  int bpp;
  std::uint32_t row_bytes, image_size, file_size;
};

class BmpLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(BmpLayoutTest, HeadersMatchTheCaptureLayout) {
  const LayoutCase& c = GetParam();
  const auto layout = ComputeBmpLayout(c.width, c.height, c.bpp);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->row_bytes, c.row_bytes);
  EXPECT_EQ(layout->image_size, c.image_size);
  EXPECT_EQ(layout->file_size, c.file_size);

  const ByteArray image = BuildBmpFileImage(*layout);
  ASSERT_EQ(image.size(), c.file_size);
  EXPECT_EQ(image[0], 'B');
  EXPECT_EQ(image[1], 'M');
  EXPECT_EQ(Read32(image, 2), c.file_size);  // bfSize is the length of the image
  const std::uint8_t fixed[] = {0, 0, 0, 0, 0x36, 0, 0, 0};
  EXPECT_EQ(std::memcmp(image.data() + 6, fixed, 8), 0);
  EXPECT_EQ(Read32(image, 14), 40u);
  EXPECT_EQ(Read32(image, 18), static_cast<std::uint32_t>(c.width));
  EXPECT_EQ(Read32(image, 22), static_cast<std::uint32_t>(c.height));
  EXPECT_EQ(Read16(image, 26), 1u);
  EXPECT_EQ(Read16(image, 28), static_cast<std::uint32_t>(c.bpp));
  for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(Read32(image, at), 0u) << at;
}

INSTANTIATE_TEST_SUITE_P(WorkedSizes, BmpLayoutTest,
                         testing::Values(LayoutCase{350, 250, 32, 1400, 350000, 350054},
                                         LayoutCase{350, 250, 24, 1052, 263000, 263054},
                                         LayoutCase{351, 250, 24, 1056, 264000, 264054},
                                         LayoutCase{3, 2, 24, 12, 24, 78},
                                         LayoutCase{1, 1, 32, 4, 4, 58}));

TEST(BmpLayout, RefusesSizesOutsideTheDomain) {
  const struct {
    std::int32_t w, h;
    int bpp;
  } refused[] = {{0, 10, 24},         {10, 0, 24},         {-1, 10, 24},
                 {10, -5, 24},        {10, 10, 0},         {10, 10, 33},
                 {67108864, 1, 32},   // the row alone leaves the 32-bit range
                 {32627, 32627, 32},  // the image does
                 {46341, 46341, 8}};
  for (const auto& r : refused) {
    EXPECT_FALSE(ComputeBmpLayout(r.w, r.h, r.bpp)) << r.w << "x" << r.h << "@" << r.bpp;
  }
}

Picture Gradient(std::int32_t w, std::int32_t h) {
  Picture p{w, h, {}};
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      p.pixels.push_back(static_cast<std::uint32_t>((x * 40) << 16 | (y * 30) << 8 | (x + y)) & 0xFFFFFFu);
  return p;
}

TEST(Bmp, Encode24DecodesBackExactly) {
  for (const auto& [w, h] : {std::pair{1, 1}, {3, 2}, {5, 7}, {351, 3}}) {
    const Picture original = Gradient(w, h);
    const ByteArray file = EncodeBmp24(original);
    ASSERT_EQ(Read16(file, 28), 24u);
    const auto decoded = DecodeBmp(file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixels, original.pixels) << w << "x" << h;
  }
}

// Writes a 32-bit image by hand, bottom-up or top-down, with an alpha byte.
ByteArray Make32(const Picture& p, bool top_down) {
  const auto layout = *ComputeBmpLayout(p.width, p.height, 32);
  ByteArray file = BuildBmpFileImage(layout);
  if (top_down) {
    const auto h = static_cast<std::uint32_t>(-p.height);
    for (int i = 0; i < 4; ++i) file[22 + i] = static_cast<std::uint8_t>(h >> (8 * i));
  }
  for (std::int32_t y = 0; y < p.height; ++y) {
    const std::int32_t row = top_down ? y : p.height - 1 - y;
    for (std::int32_t x = 0; x < p.width; ++x) {
      std::uint8_t* px = file.data() + 54 + row * layout.row_bytes + x * 4;
      const std::uint32_t c = p.At(x, y);
      px[0] = static_cast<std::uint8_t>(c);
      px[1] = static_cast<std::uint8_t>(c >> 8);
      px[2] = static_cast<std::uint8_t>(c >> 16);
      px[3] = 0xAB;  // ignored
    }
  }
  return file;
}

TEST(Bmp, Decodes32BitBottomUpAndTopDown) {
  const Picture p = Gradient(4, 3);
  for (const bool top_down : {false, true}) {
    const auto decoded = DecodeBmp(Make32(p, top_down));
    ASSERT_TRUE(decoded) << top_down;
    EXPECT_EQ(decoded->height, 3);
    EXPECT_EQ(decoded->pixels, p.pixels) << "top_down=" << top_down;
  }
}

// Rows are read and written a word at a time with a byte-wise tail, into
// buffers that may hold an older frame: every width up to 9 meets each tail,
// and each pixel and padding byte is checked at its place in the file.
TEST(Bmp, EveryWidthKeepsEachPixelAtItsPlace) {
  for (std::int32_t w = 1; w <= 9; ++w) {
    const Picture p = Gradient(w, 3);
    const auto layout = *ComputeBmpLayout(w, 3, 24);
    for (const std::size_t old_size : {std::size_t{0}, std::size_t{20}, std::size_t{4096}}) {
      ByteArray file(old_size, 0xEE);  // a reused buffer with stale bytes
      ASSERT_TRUE(EncodeBmp24Into(p, file));
      ASSERT_EQ(file.size(), layout.file_size);
      EXPECT_EQ(file, EncodeBmp24(p)) << w << " after " << old_size;
      for (std::int32_t y = 0; y < 3; ++y) {
        const std::uint8_t* row = file.data() + 54 + static_cast<std::size_t>(2 - y) * layout.row_bytes;
        for (std::int32_t x = 0; x < w; ++x) {
          const std::uint8_t* px = row + 3 * x;
          EXPECT_EQ(px[0] | px[1] << 8 | px[2] << 16, static_cast<int>(p.At(x, y))) << w << ":" << x;
        }
        for (std::size_t pad = 3 * static_cast<std::size_t>(w); pad < layout.row_bytes; ++pad) {
          EXPECT_EQ(row[pad], 0) << w << " padding " << pad;
        }
      }
    }
    const auto decoded24 = DecodeBmp(EncodeBmp24(p));
    ASSERT_TRUE(decoded24);
    EXPECT_EQ(decoded24->pixels, p.pixels) << w;
    for (const bool top_down : {false, true}) {
      const auto decoded32 = DecodeBmp(Make32(p, top_down));
      ASSERT_TRUE(decoded32);
      EXPECT_EQ(decoded32->pixels, p.pixels) << w << " top_down=" << top_down;
    }
  }
}

TEST(Bmp, PreparedImagesHaveTheHeadersOfBuiltOnes) {
  const auto layout = *ComputeBmpLayout(351, 2, 24);
  ByteArray reused(9000, 0xEE);
  ASSERT_TRUE(PrepareBmpFileImage(reused, layout));
  const ByteArray built = BuildBmpFileImage(layout);
  ASSERT_EQ(reused.size(), built.size());
  EXPECT_TRUE(std::equal(built.begin(), built.begin() + 54, reused.begin()));
}

TEST(Bmp, RejectsBrokenImages) {
  const ByteArray good = EncodeBmp24(Gradient(4, 3));
  auto broken = [&](auto mutate) {
    ByteArray b = good;
    mutate(b);
    return DecodeBmp(b).has_value();
  };
  EXPECT_FALSE(DecodeBmp({}));
  EXPECT_FALSE(broken([](ByteArray& b) { b[0] = 'X'; }));
  EXPECT_FALSE(broken([](ByteArray& b) { b.resize(b.size() - 1); }));  // truncated rows
  EXPECT_FALSE(broken([](ByteArray& b) { b.resize(40); }));
  EXPECT_FALSE(broken([](ByteArray& b) { b[28] = 16; }));              // 16 bits per pixel
  EXPECT_FALSE(broken([](ByteArray& b) { b[30] = 1; }));               // compressed
  EXPECT_FALSE(broken([](ByteArray& b) { b[18] = 0xFF; b[19] = 0xFF; b[20] = 0xFF; b[21] = 0x7F; }));
  EXPECT_FALSE(broken([](ByteArray& b) { b[10] = 0xFF; b[11] = 0xFF; }));  // pixels beyond the end
  EXPECT_FALSE(broken([](ByteArray& b) { b[22] = 0; b[23] = 0; b[24] = 0; b[25] = 0x80; }));
}

}  // namespace
}  // namespace orvamy
