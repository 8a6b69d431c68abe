#include "capture/frame_geometry.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

TEST(CaptureRect, CentresOnThePointerTruncatingTowardZero) {
  const struct {
    ScreenPoint pointer;
    std::int32_t w, h;
    ScreenRect expected;
  } cases[] = {
      {{1000, 500}, 350, 250, {825, 375, 350, 250}},
      {{1000, 500}, 351, 251, {824, 374, 351, 251}},  // 1000 - 175.5 -> 824
      {{100, 100}, 351, 251, {-75, -25, 351, 251}},   // -75.5 -> -75, not -76
      {{0, 0}, 351, 251, {-175, -125, 351, 251}},
      {{-300, 20}, 1, 1, {-300, 19, 1, 1}},           // -300.5 -> -300
      {{10, 10}, 0, -4, {10, 12, 0, -4}},             // not clamped here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CaptureRectAround(c.pointer, c.w, c.h), c.expected)
        << c.pointer.x << "," << c.pointer.y << " " << c.w << "x" << c.h;
  }
}

TEST(MarkerLines, AreASmallCrossWithATailAtTheCentre) {
  using L = CanvasLine;
  EXPECT_EQ(MarkerLines(350, 250), (std::array<L, 3>{L{{175, 125}, {181, 131}},
                                                      L{{174, 125}, {178, 125}},
                                                      L{{175, 124}, {175, 128}}}));
  EXPECT_EQ(MarkerLines(351, 3), (std::array<L, 3>{L{{175, 1}, {181, 7}}, L{{174, 1}, {178, 1}},
                                                   L{{175, 0}, {175, 4}}}));
  // Negative sizes truncate toward zero too: -3 / 2 - 1 = -2.5 -> -2.
  EXPECT_EQ(MarkerLines(-3, -3)[1].from, (ScreenPoint{-2, -1}));
}

}  // namespace
}  // namespace orvamy
