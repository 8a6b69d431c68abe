#include "platform/wayland/pixel_rows.h"

namespace orvamy::wayland {
namespace {

constexpr std::size_t kBytesPerPixel = 4;

struct ChannelOffsets {
  std::size_t red;
  std::size_t green;
  std::size_t blue;
};

constexpr ChannelOffsets OffsetsOf(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::kBGRx:
    case PixelLayout::kBGRA:
      return {2, 1, 0};
    case PixelLayout::kRGBx:
    case PixelLayout::kRGBA:
      return {0, 1, 2};
  }
  return {2, 1, 0};
}

}  // namespace

bool ConvertRows(PixelLayout layout, std::span<const std::uint8_t> bytes, std::size_t stride,
                 std::int32_t width, std::int32_t height, std::vector<std::uint32_t>& out) {
  if (width <= 0 || height <= 0) return false;
  const auto columns = static_cast<std::size_t>(width);
  const auto rows = static_cast<std::size_t>(height);
  const std::size_t row_bytes = columns * kBytesPerPixel;
  if (stride < row_bytes) return false;
  // The last row needs only its pixels, not a whole stride: producers may
  // leave the padding after it out of the buffer.
  if (bytes.size() < (rows - 1) * stride + row_bytes) return false;

  const ChannelOffsets at = OffsetsOf(layout);
  out.resize(columns * rows);
  std::uint32_t* target = out.data();
  for (std::size_t y = 0; y < rows; ++y) {
    const std::uint8_t* pixel = bytes.data() + y * stride;
    for (std::size_t x = 0; x < columns; ++x, pixel += kBytesPerPixel) {
      *target++ = (std::uint32_t{pixel[at.red]} << 16) | (std::uint32_t{pixel[at.green]} << 8) |
                  std::uint32_t{pixel[at.blue]};
    }
  }
  return true;
}

}  // namespace orvamy::wayland
