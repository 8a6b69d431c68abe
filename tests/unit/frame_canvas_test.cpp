#include "capture/frame_canvas.h"

#include <gtest/gtest.h>

#include <utility>


namespace orvamy {
namespace {

constexpr std::uint32_t kGrey = FrameCanvas::kBackground;
constexpr std::uint32_t kBlue = FrameCanvas::kPenColour;

std::uint32_t Rgb(std::int32_t x, std::int32_t y) {
  return static_cast<std::uint32_t>(x * 0x10000 + y * 0x100 + 7);
}

Picture Solid(std::int32_t w, std::int32_t h, std::uint32_t colour) {
  return Picture{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, colour)};
}

TEST(FrameCanvas, StartsAsTheTemplateAndClampsSizes) {
  FrameCanvas canvas;
  EXPECT_EQ(canvas.Width(), 72);
  EXPECT_EQ(canvas.Height(), 72);
  EXPECT_EQ(canvas.Surface().At(0, 0), kGrey);

  const struct {
    std::int32_t requested, surface;
  } sides[] = {{0, 1}, {-5, 1}, {1, 1}, {500, 500}, {40000, 32627}};
  for (const auto& s : sides) {
    canvas.SetWidth(s.requested);
    EXPECT_EQ(canvas.Width(), s.surface) << s.requested;
  }
}

TEST(FrameCanvas, ResizeKeepsTheOverlapAndFillsTheRestWithBackground) {
  FrameCanvas canvas;
  canvas.SetWidth(4);
  canvas.SetHeight(3);
  canvas.DrawPixels(Solid(4, 3, 0x123456).View());
  canvas.SetWidth(6);
  canvas.SetHeight(2);
  EXPECT_EQ(canvas.Surface().At(3, 1), 0x123456u);
  EXPECT_EQ(canvas.Surface().At(4, 0), kGrey);
  canvas.SetHeight(5);
  EXPECT_EQ(canvas.Surface().At(0, 1), 0x123456u);
  EXPECT_EQ(canvas.Surface().At(0, 2), kGrey);  // the dropped row does not come back
}

TEST(FrameCanvas, RefusesSurfacesTooLargeToHold) {
  FrameCanvas canvas;
  canvas.SetWidth(32627);
  canvas.SetHeight(32627);
  EXPECT_EQ(canvas.Width(), 32627);
  EXPECT_LE(static_cast<std::int64_t>(canvas.Width()) * canvas.Height(), FrameCanvas::kMaxPixels);
}

TEST(FrameCanvas, DrawsPicturesAtTheOriginClipped) {
  FrameCanvas canvas;
  canvas.SetWidth(3);
  canvas.SetHeight(3);
  canvas.DrawPixels(Solid(2, 5, 0xABCDEF).View());
  EXPECT_EQ(canvas.Surface().At(1, 2), 0xABCDEFu);
  EXPECT_EQ(canvas.Surface().At(2, 2), kGrey);
}

// A view whose rows are longer than its width (a window into a larger
// picture) is copied row by row at its stride, clipped to the surface either way.
TEST(FrameCanvas, DrawsViewsAtTheirStrideClipped) {
  Picture wide{10, 6, {}};
  for (std::int32_t y = 0; y < wide.height; ++y) {
    for (std::int32_t x = 0; x < wide.width; ++x) wide.pixels.push_back(Rgb(x, y));
  }
  // The 7 x 5 window of `wide` starting at (2, 1).
  const PixelView window{7, 5, 10, wide.pixels.data() + 10 + 2};
  for (const auto& [w, h] : {std::pair{7, 5}, {4, 3}, {11, 6}}) {
    FrameCanvas canvas;
    canvas.SetSize(w, h);
    canvas.DrawPixels(window);
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t expected = x < 7 && y < 5 ? Rgb(x + 2, y + 1) : kGrey;
        ASSERT_EQ(canvas.Surface().At(x, y), expected) << w << "x" << h << " at " << x << "," << y;
      }
    }
    EXPECT_EQ(canvas.View().pixels, canvas.Surface().pixels.data());
    EXPECT_EQ(canvas.View().stride, static_cast<std::size_t>(w));
  }
}

TEST(FrameCanvas, EmptyViewsDrawNothing) {
  const std::uint32_t one = 0x123456;
  for (const PixelView empty : {PixelView{}, PixelView{0, 4, 0, &one}, PixelView{1, 1, 1, nullptr}}) {
    FrameCanvas canvas;
    canvas.DrawPixels(empty);
    EXPECT_EQ(canvas.Surface().At(0, 0), kGrey);
  }
}

TEST(FrameCanvas, LinesUseTheTwoPixelBluePenWithinTheSurface) {
  FrameCanvas canvas;
  canvas.SetWidth(10);
  canvas.SetHeight(10);
  canvas.DrawLine({2, 5}, {6, 5});
  for (int x = 1; x <= 6; ++x) {
    EXPECT_EQ(canvas.Surface().At(x, 4), kBlue) << x;
    EXPECT_EQ(canvas.Surface().At(x, 5), kBlue) << x;
  }
  EXPECT_EQ(canvas.Surface().At(7, 5), kGrey);
  EXPECT_EQ(canvas.Surface().At(3, 6), kGrey);
  // Off the surface, partly or wholly: clipped, never a write outside.
  canvas.DrawLine({-3, -3}, {1, 1});
  EXPECT_EQ(canvas.Surface().At(0, 0), kBlue);
  canvas.DrawLine({2000000000, 5}, {2000000006, 11});
}

}  // namespace
}  // namespace orvamy
