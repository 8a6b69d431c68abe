#pragma once
// BMP file images: the layout (bottom-up rows), encoders at 24 and 32 bits per
// pixel and a decoder for both. Inside the program frames travel as pixels
// (base/pixels.h); BMP is for files, tools and the builder's byte façade.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/byte_array.h"
#include "base/pixels.h"

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

// Makes `image` the file image of `layout` with its headers written, reusing
// the memory it already holds (a recording captures and composes frames of one
// size over and over). The pixel rows are NOT cleared: the caller writes every
// byte of them, row padding included. False when the memory cannot be had.
bool PrepareBmpFileImage(ByteArray& image, const BmpLayout& layout);

// An uncompressed 24- or 32-bit BMP file image whose headers and sizes have
// been checked; it points into the bytes it was parsed from.
struct BmpView {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bits_per_pixel = 0;  // 24 or 32
  bool top_down = false;
  std::size_t row_bytes = 0;
  const std::uint8_t* pixels = nullptr;  // the first stored row

  // The stored bytes of picture row `y`, counted from the top.
  const std::uint8_t* Row(std::int32_t y) const {
    const std::int32_t stored = top_down ? y : height - 1 - y;
    return pixels + static_cast<std::size_t>(stored) * row_bytes;
  }
};

// nullopt for anything but an uncompressed 24- or 32-bit image, bottom-up or
// top-down, or for truncated or inconsistent bytes.
std::optional<BmpView> ParseBmp(std::span<const std::uint8_t> file_image);

// The first `count` pixels of a row of `bmp` as 0x00RRGGBB values.
void BmpRowToPixels(const BmpView& bmp, const std::uint8_t* row, std::uint32_t* out,
                    std::size_t count);

// Decodes what ParseBmp accepts into a picture; nullopt where it refuses.
std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> file_image);
// The same into `picture`, reusing its memory; false (and `picture` empty)
// where ParseBmp refuses or the memory cannot be had.
bool DecodeBmpInto(std::span<const std::uint8_t> file_image, Picture& picture);

// The 24-bit file image of a picture (bottom-up rows), empty when too large.
ByteArray EncodeBmp24(const Picture& picture);
// The same into `image`, reusing its memory; false (and `image` empty) when too large.
bool EncodeBmp24Into(const Picture& picture, ByteArray& image);
// The file image of `pixels` at 24 or 32 bits per pixel (the fourth byte 0),
// bottom-up rows; empty for another depth or when too large.
ByteArray EncodeBmp(PixelView pixels, int bits_per_pixel);

}  // namespace orvamy
