#include "capture/bmp.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace orvamy {
namespace {

constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Get16(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0] | (at[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::optional<BmpLayout> ComputeBmpLayout(std::int32_t width, std::int32_t height,
                                          int bits_per_pixel) {
  if (width < 1 || height < 1 || bits_per_pixel < 1 || bits_per_pixel > 32) return std::nullopt;
  // The row length is formed in double precision, as a product of two 32-bit
  // values may not fit in 32 bits; anything beyond the signed range is refused.
  const double row_bits = static_cast<double>(width) * bits_per_pixel + 31.0;
  if (row_bits > kInt32Max) return std::nullopt;
  const auto row_bytes = static_cast<std::uint32_t>((static_cast<std::int32_t>(row_bits) >> 5) << 2);
  const double image_size = static_cast<double>(row_bytes) * height;
  if (image_size + static_cast<double>(kBmpPixelOffset) > kInt32Max) return std::nullopt;
  BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bits_per_pixel = static_cast<std::uint16_t>(bits_per_pixel);
  layout.row_bytes = row_bytes;
  layout.image_size = static_cast<std::uint32_t>(image_size);
  layout.file_size = layout.image_size + static_cast<std::uint32_t>(kBmpPixelOffset);
  return layout;
}

ByteArray BuildBmpFileImage(const BmpLayout& layout) {
  ByteArray image;
  try {
    image.assign(layout.file_size, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  std::uint8_t* p = image.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, layout.file_size);
  Put32(p + 10, static_cast<std::uint32_t>(kBmpPixelOffset));
  std::uint8_t* info = p + kBmpFileHeaderSize;
  Put32(info + 0, static_cast<std::uint32_t>(kBmpInfoHeaderSize));
  Put32(info + 4, static_cast<std::uint32_t>(layout.width));
  Put32(info + 8, static_cast<std::uint32_t>(layout.height));
  Put16(info + 12, 1);
  Put16(info + 14, layout.bits_per_pixel);
  return image;
}

std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kBmpPixelOffset || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
  const std::uint8_t* info = bytes.data() + kBmpFileHeaderSize;
  const std::uint32_t info_size = Get32(info);
  const auto width = static_cast<std::int32_t>(Get32(info + 4));
  const auto raw_height = static_cast<std::int32_t>(Get32(info + 8));
  const std::uint32_t bpp = Get16(info + 14);
  const std::uint32_t compression = Get32(info + 16);
  const std::uint32_t pixel_offset = Get32(bytes.data() + 10);
  if (info_size < kBmpInfoHeaderSize || compression != 0 || (bpp != 24 && bpp != 32)) {
    return std::nullopt;
  }
  if (raw_height == std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  const bool top_down = raw_height < 0;
  const std::int32_t height = top_down ? -raw_height : raw_height;
  const auto layout = ComputeBmpLayout(width, height, static_cast<int>(bpp));
  if (!layout) return std::nullopt;
  if (pixel_offset < kBmpFileHeaderSize + info_size || pixel_offset > bytes.size() ||
      bytes.size() - pixel_offset < layout->image_size) {
    return std::nullopt;
  }
  Picture picture;
  picture.width = width;
  picture.height = height;
  try {
    picture.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  const std::size_t step = bpp / 8;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t stored_row = top_down ? y : height - 1 - y;
    const std::uint8_t* row =
        bytes.data() + pixel_offset + static_cast<std::size_t>(stored_row) * layout->row_bytes;
    std::uint32_t* out = picture.pixels.data() + static_cast<std::size_t>(y) * width;
    for (std::int32_t x = 0; x < width; ++x, row += step) {
      out[x] = static_cast<std::uint32_t>(row[0]) | (static_cast<std::uint32_t>(row[1]) << 8) |
               (static_cast<std::uint32_t>(row[2]) << 16);
    }
  }
  return picture;
}

ByteArray EncodeBmp24(const Picture& picture) {
  const auto layout = ComputeBmpLayout(picture.width, picture.height, 24);
  if (!layout) return {};
  ByteArray image = BuildBmpFileImage(*layout);
  if (image.empty()) return {};
  for (std::int32_t y = 0; y < picture.height; ++y) {
    std::uint8_t* row = image.data() + kBmpPixelOffset +
                        static_cast<std::size_t>(picture.height - 1 - y) * layout->row_bytes;
    const std::uint32_t* in = picture.pixels.data() + static_cast<std::size_t>(y) * picture.width;
    for (std::int32_t x = 0; x < picture.width; ++x, row += 3) {
      row[0] = static_cast<std::uint8_t>(in[x]);
      row[1] = static_cast<std::uint8_t>(in[x] >> 8);
      row[2] = static_cast<std::uint8_t>(in[x] >> 16);
    }
  }
  return image;
}

}  // namespace orvamy
