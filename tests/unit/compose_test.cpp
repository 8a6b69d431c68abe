#include "capture/compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

using fake::SyntheticScreen;

class ComposeTest : public testing::Test {
 protected:
  Picture Compose() {
    FrameSources sources{screen, pointer, boxes, position, canvas};
    return ComposeFrame(sources);
  }

  SyntheticScreen screen{1920, 1080};
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

TEST_F(ComposeTest, FromTallToWideNearThePixelCapTheFrameTakesTheNewSize) {
  // 100 x 10000 and 10000 x 100 are both allowed; 10000 x 10000, a width-first
  // step on the way, is beyond the cap.
  boxes.marker = false;
  pointer.MoveTo({1000, 500});
  boxes.width = "100";
  boxes.height = "10000";
  EXPECT_EQ(Compose().height, 10000);
  boxes.width = "10000";
  boxes.height = "100";
  const Picture frame = Compose();
  EXPECT_EQ(frame.width, 10000);
  EXPECT_EQ(frame.height, 100);
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

// The composer keeps its capture buffer from frame to frame: over a run of
// frames whose size, place, marker and capture success change, each of its
// frames must equal what a fresh ComposeFrame makes in the same state.
TEST(Compose, ReusedBuffersGiveTheSameFramesAsFreshOnes) {
  struct Step {
    const char* width;
    const char* height;
    ScreenPoint pointer;
    bool marker;
    bool fail;
  };
  const Step steps[] = {
      {"350", "250", {600, 400}, true, false},  {"350", "250", {610, 405}, false, false},
      {"351", "249", {0, 0}, true, false},      // odd sizes, partly off the screen
      {"120", "90", {700, 300}, true, false},   // smaller than the buffers hold
      {"400", "260", {300, 300}, false, true},  // grown while the capture fails
      {"401", "260", {1900, 1070}, true, false}, {"7", "3", {5, 5}, false, false},
  };
  struct Side {
    SyntheticScreen screen{1920, 1080};
    fake::ScriptedPointer pointer;
    fake::ParameterBoxesStub boxes;
    PointerPosition position;
    FrameCanvas canvas;
    FrameSources sources() { return {screen, pointer, boxes, position, canvas}; }
  };
  Side fresh, reused;
  FrameComposer composer(reused.sources());
  for (const Step& step : steps) {
    for (Side* side : {&fresh, &reused}) {
      side->boxes.width = step.width;
      side->boxes.height = step.height;
      side->boxes.marker = step.marker;
      side->pointer.MoveTo(step.pointer);
      side->screen.FailCaptures(step.fail);
    }
    FrameSources sources = fresh.sources();
    const Picture expected = ComposeFrame(sources);
    const PixelView got = composer.Compose(ReadCaptureSettings(reused.boxes));
    ASSERT_EQ(got.width, expected.width) << step.width;
    ASSERT_EQ(got.height, expected.height) << step.height;
    Picture copy;
    ASSERT_TRUE(CopyPixels(got, copy));
    EXPECT_EQ(copy.pixels, expected.pixels) << step.width << "x" << step.height;
  }
}

TEST(Compose, ReadsAllTheBoxesOnceIntoOneSnapshot) {
  const struct {
    const char* rate;
    std::int32_t expected;
  } cases[] = {{"10", 10}, {"-5", 0}, {"", 0}, {"３０", 30}};
  fake::ParameterBoxesStub boxes;
  boxes.width = "120";
  boxes.height = "90";
  boxes.marker = false;
  for (const auto& c : cases) {
    boxes.rate = c.rate;
    const CaptureSettings settings = ReadCaptureSettings(boxes);
    EXPECT_EQ(settings.width, 120) << c.rate;
    EXPECT_EQ(settings.height, 90) << c.rate;
    EXPECT_FALSE(settings.marker) << c.rate;
    EXPECT_EQ(settings.rate, c.expected) << c.rate;  // never negative: no wait of weeks
  }
}

TEST_F(ComposeTest, ASizeBeyondWhatTheCanvasHoldsReadsOnlyWhatItShows) {
  // 10000 x 10000 is beyond the canvas's pixel cap: the canvas keeps 350 x
  // 250 and draws the top left of the rectangle, so no more is read.
  boxes.marker = false;
  pointer.MoveTo({1000, 500});
  Compose();
  boxes.width = "10000";
  boxes.height = "10000";
  const Picture frame = Compose();
  ASSERT_EQ(frame.width, 350);
  ASSERT_EQ(frame.height, 250);
  EXPECT_EQ(screen.requested().back(), (ScreenRect{-4000, -4500, 350, 250}));
  EXPECT_EQ(frame.At(0, 0), 0u);  // off the screen: black
}

}  // namespace
}  // namespace orvamy
