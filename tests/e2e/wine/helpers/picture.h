#pragma once
// The known picture the Wine end-to-end test records: four flat quadrants
// meeting at a centre point, in colours far from the marker's blue. Shared by
// the picture shower; the checker in ../run uses the same numbers.

#include <cstdint>

namespace orvamy_e2e {

inline constexpr int kCentreX = 250;
inline constexpr int kCentreY = 200;
// 0x00RRGGBB: top left, top right, bottom left, bottom right.
inline constexpr std::uint32_t kQuadrants[4] = {0xFF0000, 0x00FF00, 0xFFFF00, 0xFFFFFF};

inline std::uint32_t PictureAt(int x, int y) {
  return kQuadrants[(y >= kCentreY ? 2 : 0) + (x >= kCentreX ? 1 : 0)];
}

}  // namespace orvamy_e2e
