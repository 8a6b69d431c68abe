#include "preview/preview_controller.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace orvamy {
namespace {

TEST(PreviewAlpha, MapsTheListAndFallsBackToTheTypedOrInitialItem) {
  const int by_index[] = {76, 63, 51, 38, 25, 12};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(PreviewAlpha(i, "ignored"), by_index[i]) << i;
  EXPECT_EQ(PreviewAlpha(-1, "25%"), 63);    // typed text matching an item
  EXPECT_EQ(PreviewAlpha(-1, "15%"), 38);
  EXPECT_EQ(PreviewAlpha(-1, "50%"), 38);    // anything else: 15%, never opaque
  EXPECT_EQ(PreviewAlpha(7, ""), 38);
}

class PreviewTest : public testing::Test {
 protected:
  fake::RecordingPreviewWindow window;
  fake::RecordingTimer timer;
  fake::ScriptedPointer pointer;
  fake::ParameterBoxesStub boxes;
  PointerPosition position;
  PreviewController preview{window, timer, pointer, boxes, position};
};

TEST_F(PreviewTest, OnFramesTheCaptureRectangleAtOnceAndFollowsThePointer) {
  pointer.MoveTo({1000, 500});
  preview.OnPreviewToggled(true, 1, "25%");
  EXPECT_TRUE(window.open);
  EXPECT_EQ(window.opacities, std::vector<int>{63});
  EXPECT_EQ(timer.periods, std::vector<int>{100});
  ASSERT_EQ(window.placements.size(), 1u);
  EXPECT_EQ(window.placements[0], (ScreenRect{825, 375, 350, 250}));

  preview.OnTick();  // unchanged: no move
  EXPECT_EQ(window.placements.size(), 1u);

  boxes.height = "265";  // a wheel notch
  preview.OnTick();
  EXPECT_EQ(window.placements.back(), (ScreenRect{825, 367, 350, 265}));
  pointer.MoveTo({0, 0});
  preview.OnTick();
  EXPECT_EQ(window.placements.back(), (ScreenRect{-175, -132, 350, 265}));
}

TEST_F(PreviewTest, HidesWhileASizeIsBelowOne) {
  preview.OnPreviewToggled(true, 3, "15%");
  boxes.width = "0";
  preview.OnTick();
  EXPECT_EQ(window.placements.back(), std::nullopt);
  boxes.width = "20";
  preview.OnTick();
  EXPECT_TRUE(window.placements.back().has_value());
}

TEST_F(PreviewTest, OffStopsTheTimerThenClosesAndOnAgainTakesTheNewOpacity) {
  preview.OnPreviewToggled(true, 0, "30%");
  preview.OnPreviewToggled(false, 0, "30%");
  EXPECT_FALSE(window.open);
  EXPECT_EQ(timer.periods, (std::vector<int>{100, 0}));
  const auto placed = window.placements.size();
  preview.OnTick();  // a tick that was already queued does nothing
  EXPECT_EQ(window.placements.size(), placed);
  preview.OnPreviewToggled(true, 5, "5%");
  EXPECT_EQ(window.opacities, (std::vector<int>{76, 12}));
  EXPECT_EQ(window.opened, 2);
}

TEST_F(PreviewTest, AWindowClosedByOtherMeansUnticksTheBox) {
  fake::RecordingWindow view;
  preview.OnPreviewToggled(true, 3, "15%");
  preview.OnWindowClosedExternally(view);
  EXPECT_EQ(view.preview_ticks, std::vector<bool>{false});
  EXPECT_EQ(timer.periods.back(), 0);
  EXPECT_FALSE(preview.IsOn());
}

}  // namespace
}  // namespace orvamy
