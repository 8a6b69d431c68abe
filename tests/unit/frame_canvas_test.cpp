#include "capture/frame_canvas.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

constexpr std::uint32_t kGrey = FrameCanvas::kBackground;
constexpr std::uint32_t kBlue = FrameCanvas::kPenColour;

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
  canvas.DrawPicture(Solid(4, 3, 0x123456));
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
  canvas.DrawPicture(Solid(2, 5, 0xABCDEF));
  EXPECT_EQ(canvas.Surface().At(1, 2), 0xABCDEFu);
  EXPECT_EQ(canvas.Surface().At(2, 2), kGrey);
}

// DrawBmp decodes straight into the surface: it must give what decoding to a
// picture and drawing that gives, clipped either way, for both depths.
TEST(FrameCanvas, DrawsBmpImagesAsTheirDecodedPicture) {
  fake::SyntheticScreen screen32(100, 100, 32), screen24(100, 100, 24);
  for (fake::SyntheticScreen* screen : {&screen32, &screen24}) {
    const ByteArray file = screen->CaptureScreenRect(3, 4, 7, 5);
    const Picture picture = DecodeBmp(file).value();
    for (const auto& [w, h] : {std::pair{7, 5}, {4, 3}, {11, 6}}) {
      FrameCanvas direct, reference;
      for (FrameCanvas* c : {&direct, &reference}) {
        c->SetWidth(w);
        c->SetHeight(h);
      }
      EXPECT_TRUE(direct.DrawBmp(file));
      reference.DrawPicture(picture);
      EXPECT_EQ(direct.Surface().pixels, reference.Surface().pixels) << w << "x" << h;
    }
  }
}

TEST(FrameCanvas, BytesThatDoNotDecodeDrawNothing) {
  FrameCanvas canvas;
  ByteArray broken = EncodeBmp24(Solid(4, 4, 0x123456));
  broken[28] = 16;
  EXPECT_FALSE(canvas.DrawBmp(broken));
  EXPECT_FALSE(canvas.DrawBmp({}));
  EXPECT_EQ(canvas.Surface().At(0, 0), kGrey);
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

TEST(FrameCanvas, TakesTheSurfaceAs24BitBmp) {
  FrameCanvas canvas;
  canvas.SetWidth(5);
  canvas.SetHeight(2);
  const ByteArray file = canvas.TakePicture();
  ASSERT_EQ(file.size(), 54u + 2 * 16);
  EXPECT_EQ(file[28], 24);
  const auto back = DecodeBmp(file);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixels, canvas.Surface().pixels);

  ByteArray reused(5000, 0xEE);
  ASSERT_TRUE(canvas.TakePictureInto(reused));
  EXPECT_EQ(reused, file);
}

}  // namespace
}  // namespace orvamy
