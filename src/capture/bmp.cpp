#include "capture/bmp.h"

#include <bit>
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

namespace {

void WriteHeaders(std::uint8_t* p, const BmpLayout& layout) {
  std::memset(p, 0, kBmpPixelOffset);
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
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint32_t Load32(const std::uint8_t* at) {
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

void Store32(std::uint8_t* at, std::uint32_t v) { std::memcpy(at, &v, 4); }

// The row loops below are the per-pixel work of every frame (a full-HD frame
// is two million pixels, decoded once on the recorder thread and once more by
// the GIF builder). On little-endian machines they move whole words: a 32-bit
// pixel B, G, R, X read as one word is 0xXXRRGGBB, and four 24-bit pixels are
// exactly three words. Elsewhere they go byte by byte.

void Row32ToPixels(const std::uint8_t* row, std::uint32_t* out, std::size_t count) {
  std::size_t i = 0;
  if constexpr (kLittleEndian) {
    for (; i + 2 <= count; i += 2) {  // two pixels per 64-bit word
      std::uint64_t v;
      std::memcpy(&v, row + i * 4, 8);
      v &= 0x00FFFFFF00FFFFFFull;
      std::memcpy(out + i, &v, 8);
    }
  }
  for (; i < count; ++i) {
    const std::uint8_t* p = row + i * 4;
    out[i] = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16);
  }
}

void Row24ToPixels(const std::uint8_t* row, std::uint32_t* out, std::size_t count) {
  std::size_t i = 0;
  if constexpr (kLittleEndian) {
    for (; i + 4 <= count; i += 4) {
      const std::uint8_t* p = row + i * 3;
      const std::uint32_t a = Load32(p), b = Load32(p + 4), c = Load32(p + 8);
      out[i + 0] = a & 0xFFFFFFu;
      out[i + 1] = (a >> 24) | ((b & 0xFFFFu) << 8);
      out[i + 2] = (b >> 16) | ((c & 0xFFu) << 16);
      out[i + 3] = c >> 8;
    }
  }
  for (; i < count; ++i) {
    const std::uint8_t* p = row + i * 3;
    out[i] = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16);
  }
}

// Writes a whole 24-bit row of `row_bytes`, the padding zeroed.
void PixelsToRow24(const std::uint32_t* in, std::size_t count, std::uint8_t* row,
                   std::size_t row_bytes) {
  std::size_t i = 0;
  if constexpr (kLittleEndian) {
    for (; i + 4 <= count; i += 4) {
      const std::uint32_t p0 = in[i] & 0xFFFFFFu, p1 = in[i + 1] & 0xFFFFFFu,
                          p2 = in[i + 2] & 0xFFFFFFu, p3 = in[i + 3] & 0xFFFFFFu;
      std::uint8_t* d = row + i * 3;
      Store32(d, p0 | (p1 << 24));
      Store32(d + 4, (p1 >> 8) | (p2 << 16));
      Store32(d + 8, (p2 >> 16) | (p3 << 8));
    }
  }
  for (; i < count; ++i) {
    std::uint8_t* d = row + i * 3;
    d[0] = static_cast<std::uint8_t>(in[i]);
    d[1] = static_cast<std::uint8_t>(in[i] >> 8);
    d[2] = static_cast<std::uint8_t>(in[i] >> 16);
  }
  std::memset(row + count * 3, 0, row_bytes - count * 3);
}

// Writes a whole 32-bit row (B, G, R, 0 per pixel; such rows have no padding).
void PixelsToRow32(const std::uint32_t* in, std::size_t count, std::uint8_t* row) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* d = row + i * 4;
    d[0] = static_cast<std::uint8_t>(in[i]);
    d[1] = static_cast<std::uint8_t>(in[i] >> 8);
    d[2] = static_cast<std::uint8_t>(in[i] >> 16);
    d[3] = 0;
  }
}

}  // namespace

ByteArray BuildBmpFileImage(const BmpLayout& layout) {
  ByteArray image;
  try {
    image.assign(layout.file_size, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  WriteHeaders(image.data(), layout);
  return image;
}

bool PrepareBmpFileImage(ByteArray& image, const BmpLayout& layout) {
  try {
    // resize() keeps the bytes already there and clears only what it adds, so
    // a buffer that already had this size is not written twice.
    image.resize(layout.file_size);
  } catch (const std::bad_alloc&) {
    image.clear();
    return false;
  }
  WriteHeaders(image.data(), layout);
  return true;
}

std::optional<BmpView> ParseBmp(std::span<const std::uint8_t> bytes) {
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
  BmpView view;
  view.width = width;
  view.height = height;
  view.bits_per_pixel = static_cast<int>(bpp);
  view.top_down = top_down;
  view.row_bytes = layout->row_bytes;
  view.pixels = bytes.data() + pixel_offset;
  return view;
}

void BmpRowToPixels(const BmpView& bmp, const std::uint8_t* row, std::uint32_t* out,
                    std::size_t count) {
  if (bmp.bits_per_pixel == 32) {
    Row32ToPixels(row, out, count);
  } else {
    Row24ToPixels(row, out, count);
  }
}

std::optional<Picture> DecodeBmp(std::span<const std::uint8_t> bytes) {
  Picture picture;
  if (!DecodeBmpInto(bytes, picture)) return std::nullopt;
  return picture;
}

bool DecodeBmpInto(std::span<const std::uint8_t> bytes, Picture& picture) {
  const auto bmp = ParseBmp(bytes);
  if (!bmp) {
    picture.Clear();
    return false;
  }
  if (!picture.Reshape(bmp->width, bmp->height)) return false;
  for (std::int32_t y = 0; y < bmp->height; ++y) {
    BmpRowToPixels(*bmp, bmp->Row(y), picture.Row(y), static_cast<std::size_t>(bmp->width));
  }
  return true;
}

ByteArray EncodeBmp24(const Picture& picture) {
  ByteArray image;
  EncodeBmp24Into(picture, image);
  return image;
}

bool EncodeBmp24Into(const Picture& picture, ByteArray& image) {
  const auto layout = ComputeBmpLayout(picture.width, picture.height, 24);
  if (!layout || !PrepareBmpFileImage(image, *layout)) {
    image.clear();
    return false;
  }
  const PixelView view = picture.View();
  for (std::int32_t y = 0; y < picture.height; ++y) {
    std::uint8_t* row = image.data() + kBmpPixelOffset +
                        static_cast<std::size_t>(picture.height - 1 - y) * layout->row_bytes;
    PixelsToRow24(view.Row(y), static_cast<std::size_t>(view.width), row, layout->row_bytes);
  }
  return true;
}

ByteArray EncodeBmp(PixelView pixels, int bits_per_pixel) {
  if (bits_per_pixel != 24 && bits_per_pixel != 32) return {};
  const auto layout = ComputeBmpLayout(pixels.width, pixels.height, bits_per_pixel);
  if (!layout || pixels.pixels == nullptr) return {};
  ByteArray image;
  if (!PrepareBmpFileImage(image, *layout)) return {};
  const auto width = static_cast<std::size_t>(pixels.width);
  for (std::int32_t y = 0; y < pixels.height; ++y) {
    std::uint8_t* row = image.data() + kBmpPixelOffset +
                        static_cast<std::size_t>(pixels.height - 1 - y) * layout->row_bytes;
    if (bits_per_pixel == 24) {
      PixelsToRow24(pixels.Row(y), width, row, layout->row_bytes);
    } else {
      PixelsToRow32(pixels.Row(y), width, row);
    }
  }
  return image;
}

}  // namespace orvamy
