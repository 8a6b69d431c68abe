#include "app/wheel_sizing.h"

#include <gtest/gtest.h>

#include "form/main_window_layout.h"

namespace orvamy {
namespace {

TEST(WheelDistance, CountsWholeNotchesOnly) {
  EXPECT_EQ(WheelDistance(120), 1);
  EXPECT_EQ(WheelDistance(-120), -1);
  EXPECT_EQ(WheelDistance(240), 2);
  EXPECT_EQ(WheelDistance(119), 0);
  EXPECT_EQ(WheelDistance(-60), 0);
}

TEST(ApplyWheel, CtrlSizesTheHeightAndAltTheWidthBy15) {
  const struct {
    int distance;
    Modifiers keys;
    const char *width, *height;
    std::optional<WheelEdit> expected;
  } cases[] = {
      {1, Modifiers::kCtrl, "350", "250", WheelEdit{SizedBox::Height, "265"}},
      {-1, Modifiers::kCtrl, "350", "250", WheelEdit{SizedBox::Height, "235"}},
      {1, Modifiers::kAlt, "350", "250", WheelEdit{SizedBox::Width, "365"}},
      {-1, Modifiers::kAlt, "350", "250", WheelEdit{SizedBox::Width, "335"}},
      {-1, Modifiers::kCtrl, "350", "", WheelEdit{SizedBox::Height, "-15"}},
      {-1, Modifiers::kCtrl, "350", "-15", WheelEdit{SizedBox::Height, "-30"}},
      {1, Modifiers::kAlt, "abc", "250", WheelEdit{SizedBox::Width, "15"}},
      {1, Modifiers::kAlt, "2147483647", "250", WheelEdit{SizedBox::Width, "2147483662"}},
      {1, Modifiers::kAlt, "３５０", "250", WheelEdit{SizedBox::Width, "365"}},
      // nothing for other keys or distances
      {1, Modifiers::kNone, "350", "250", std::nullopt},
      {1, Modifiers::kShift, "350", "250", std::nullopt},
      {1, Modifiers::kCtrl | Modifiers::kAlt, "350", "250", std::nullopt},
      {1, Modifiers::kCtrl | Modifiers::kShift, "350", "250", std::nullopt},
      {1, Modifiers::kAlt | Modifiers::kShift, "350", "250", std::nullopt},
      {2, Modifiers::kCtrl, "350", "250", std::nullopt},
      {0, Modifiers::kAlt, "350", "250", std::nullopt},
      {-2, Modifiers::kAlt, "350", "250", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplyWheel(c.distance, c.keys, c.width, c.height), c.expected)
        << "distance " << c.distance << " keys " << static_cast<unsigned>(c.keys) << " w " << c.width << " h "
        << c.height;
  }
}

TEST(WheelSizesAt, DecidesByThePointerAgainstTheFormsControls) {
  const int w = kMainWindowClientWidth, h = kMainWindowClientHeight;
  const struct {
    int x, y, width, height, dpi;
    bool sizes;
    const char* where;
  } cases[] = {
      {100, 180, w, h, 96, true, "inside the group box"},
      {17, 153, w, h, 96, true, "the group box's top left corner"},
      {5, 5, w, h, 96, true, "bare background"},
      {210, 100, w, h, 96, true, "right margin"},
      {36, 30, w, h, 96, true, "between the width label and its box"},
      {50, 20, w, h, 96, false, "width box"},
      {20, 20, w, h, 96, false, "width label"},
      {100, 215, w, h, 96, false, "hint label below the group box"},
      {30, 120, w, h, 96, false, "Record button"},
      {20, 50, w, h, 96, false, "preview check box"},
      {170, 50, w, h, 96, false, "opacity combo box"},
      {-1, 10, w, h, 96, false, "left of the client area"},
      {w, 10, w, h, 96, false, "right of the client area"},
      {10, h, w, h, 96, false, "below the client area"},
      {300, 100, 400, 300, 96, true, "a window made wider: the canvas template is not there"},
      // 150 %: every rectangle scaled as the back end lays it out
      {150, 270, w * 3 / 2, h * 3 / 2, 144, true, "inside the group box at 144 dpi"},
      {36, 30, w * 3 / 2, h * 3 / 2, 144, false, "width label at 144 dpi"},
      {5, 5, w, h, 0, true, "unknown dpi is taken as 96"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WheelSizesAt(c.x, c.y, c.width, c.height, c.dpi), c.sizes) << c.where;
  }
}

}  // namespace
}  // namespace orvamy
