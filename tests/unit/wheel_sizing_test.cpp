#include "app/wheel_sizing.h"

#include <gtest/gtest.h>

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
    int distance, keys;
    const char *width, *height;
    std::optional<WheelEdit> expected;
  } cases[] = {
      {1, kKeyCtrl, "350", "250", WheelEdit{SizedBox::Height, "265"}},
      {-1, kKeyCtrl, "350", "250", WheelEdit{SizedBox::Height, "235"}},
      {1, kKeyAlt, "350", "250", WheelEdit{SizedBox::Width, "365"}},
      {-1, kKeyAlt, "350", "250", WheelEdit{SizedBox::Width, "335"}},
      {-1, kKeyCtrl, "350", "", WheelEdit{SizedBox::Height, "-15"}},
      {-1, kKeyCtrl, "350", "-15", WheelEdit{SizedBox::Height, "-30"}},
      {1, kKeyAlt, "abc", "250", WheelEdit{SizedBox::Width, "15"}},
      {1, kKeyAlt, "2147483647", "250", WheelEdit{SizedBox::Width, "2147483662"}},
      {1, kKeyAlt, "３５０", "250", WheelEdit{SizedBox::Width, "365"}},
      // nothing for other keys or distances
      {1, 0, "350", "250", std::nullopt},
      {1, kKeyShift, "350", "250", std::nullopt},
      {1, kKeyCtrl | kKeyAlt, "350", "250", std::nullopt},
      {1, kKeyCtrl | kKeyShift, "350", "250", std::nullopt},
      {1, kKeyAlt | kKeyShift, "350", "250", std::nullopt},
      {2, kKeyCtrl, "350", "250", std::nullopt},
      {0, kKeyAlt, "350", "250", std::nullopt},
      {-2, kKeyAlt, "350", "250", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ApplyWheel(c.distance, c.keys, c.width, c.height), c.expected)
        << "distance " << c.distance << " keys " << c.keys << " w " << c.width << " h "
        << c.height;
  }
}

}  // namespace
}  // namespace orvamy
