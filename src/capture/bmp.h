#pragma once
// BMP file images: the capture layout (screen depth, bottom-up rows), the
// 24-bit frame layout, and a decoder for 24 and 32 bits per pixel.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/byte_array.h"

namespace orvamy {

inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
inline constexpr std::size_t kBmpPixelOffset = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54

// Sizes of an uncompressed BMP file image. Every value fits a signed 32-bit field.
struct BmpLayout {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t row_bytes = 0;   // one row padded to a multiple of 4
  std::uint32_t image_size = 0;  // row_bytes * height
  std::uint32_t file_size = 0;   // 54 + image_size
};

// nullopt for a width or height below 1, a depth other than 1..32, or sizes
// whose rows, image or file would leave the signed 32-bit range.
std::optional<BmpLayout> ComputeBmpLayout(std::int32_t width, std::int32_t height,
                                          int bits_per_pixel);

// The complete file image: "BM", bfSize, the fixed 00 00 00 00 36 00 00 00,
// the 40-byte info header (positive height, one plane, BI_RGB, the rest 0) and
// zero-filled pixel rows at offset 54 for the caller to fill, bottom row first.
// Empty when the memory cannot be had.
ByteArray BuildBmpFileImage(const BmpLayout& layout);

// A decoded picture: top row first, one 0x00RRGGBB value per pixel.
struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(std::int32_t x, std::int32_t y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// Decodes an uncompressed 24- or 32-bit BMP file image, bottom-up or top-down.
// nullopt for anything else or for truncated or inconsistent bytes.
std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> file_image);

// The 24-bit file image of a picture (bottom-up rows), empty when too large.
ByteArray EncodeBmp24(const Picture& picture);

}  // namespace orvamy
