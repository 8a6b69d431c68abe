#include "capture/compose.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

using fake::SyntheticScreen;

class ComposeTest : public testing::Test {
 protected:
  Picture Compose() {
    FrameSources sources{screen, pointer, boxes, position, canvas};
    const ByteArray bytes = ComposeFrame(sources);
    EXPECT_EQ(bytes.at(28), 24);  // always 24 bits per pixel, whatever the screen's depth
    auto picture = DecodeBmp(bytes);
    EXPECT_TRUE(picture);
    return picture.value_or(Picture{});
  }

  SyntheticScreen screen{1920, 1080, 32};
  fake::ScriptedPointer pointer;
  fake::ParameterBoxesStub boxes;
  PointerPosition position;
  FrameCanvas canvas;
};

TEST_F(ComposeTest, CapturesTheRectangleAroundThePointerWithTheMarker) {
  pointer.MoveTo({1000, 500});
  const Picture frame = Compose();
  ASSERT_EQ(frame.width, 350);
  ASSERT_EQ(frame.height, 250);
  EXPECT_EQ(screen.requested().back(), (ScreenRect{825, 375, 350, 250}));
  EXPECT_EQ(frame.At(0, 0), SyntheticScreen::Colour(825, 375));
  EXPECT_EQ(frame.At(349, 249), SyntheticScreen::Colour(1174, 624));
  // the marker: centre, tail end, stroke ends
  for (const ScreenPoint p : {ScreenPoint{175, 125}, {181, 131}, {174, 125}, {175, 128}}) {
    EXPECT_EQ(frame.At(p.x, p.y), FrameCanvas::kPenColour) << p.x << "," << p.y;
  }
  EXPECT_EQ(frame.At(190, 125), SyntheticScreen::Colour(825 + 190, 375 + 125));
  EXPECT_EQ(position.Load(), (ScreenPoint{1000, 500}));
}

TEST_F(ComposeTest, UntickedMarkerLeavesTheCaptureUnchanged) {
  boxes.marker = false;
  pointer.MoveTo({400, 300});
  const Picture frame = Compose();
  EXPECT_EQ(frame.At(175, 125), SyntheticScreen::Colour(225 + 175, 175 + 125));
}

TEST_F(ComposeTest, OffScreenPartsAreBlack) {
  pointer.MoveTo({0, 0});
  boxes.width = "351";
  const Picture frame = Compose();
  EXPECT_EQ(screen.requested().back().left, -175);
  EXPECT_EQ(frame.At(0, 0), 0u);
  EXPECT_EQ(frame.At(175, 125), FrameCanvas::kPenColour);
  EXPECT_EQ(frame.At(200, 200), SyntheticScreen::Colour(25, 75));
}

TEST_F(ComposeTest, FailedCaptureKeepsThePreviousFrameAndGreyGrowth) {
  boxes.marker = false;
  pointer.MoveTo({500, 500});
  const Picture first = Compose();
  screen.FailCaptures(true);
  boxes.width = "360";
  const Picture second = Compose();
  ASSERT_EQ(second.width, 360);
  EXPECT_EQ(second.At(10, 10), first.At(10, 10));
  EXPECT_EQ(second.At(355, 10), FrameCanvas::kBackground);
}

TEST_F(ComposeTest, SizesBelowOneAreNotCapturedButStillGiveAFrame) {
  for (const char* width : {"0", "-20", "", "abc"}) {
    boxes.width = width;
    const int before = screen.captures();
    const Picture frame = Compose();
    EXPECT_EQ(screen.captures(), before) << width;
    EXPECT_EQ(frame.width, 1) << width;
  }
}

TEST_F(ComposeTest, FullWidthDigitsInTheBoxesCount) {
  boxes.width = "１００";
  boxes.height = "５０";
  EXPECT_EQ(Compose().width, 100);
}

TEST_F(ComposeTest, AFailedPointerQueryKeepsTheLastPosition) {
  pointer.MoveTo({700, 400});
  Compose();
  pointer.FailQueries(true);
  Compose();
  EXPECT_EQ(position.Load(), (ScreenPoint{700, 400}));
}

TEST(Compose, Reads24BitScreensToo) {
  SyntheticScreen screen{800, 600, 24};
  fake::ScriptedPointer pointer;
  fake::ParameterBoxesStub boxes;
  boxes.width = "31";
  boxes.height = "7";
  boxes.marker = false;
  PointerPosition position;
  FrameCanvas canvas;
  pointer.MoveTo({100, 100});
  FrameSources sources{screen, pointer, boxes, position, canvas};
  const auto frame = DecodeBmp(ComposeFrame(sources));
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->At(30, 6), SyntheticScreen::Colour(84 + 30, 96 + 6));
}

}  // namespace
}  // namespace orvamy
