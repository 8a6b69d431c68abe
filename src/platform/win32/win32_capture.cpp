#include "platform/win32/win32_capture.h"

#include <cstring>

#include "capture/bmp.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {

namespace {

// The rectangle of the screen copied into a bitmap of its own (the screen's
// DC is given back at once); empty when GDI refuses.
GdiObject CopyScreenRect(const MemoryDc& memory, ScreenDc& screen, ScreenRect rect) {
  GdiObject bitmap(CreateCompatibleBitmap(screen.get(), rect.width, rect.height));
  if (!bitmap) return bitmap;
  SelectedObject selected(memory.get(), bitmap.get());
  // SRCCOPY alone: no CAPTUREBLT, so the copy does not make the cursor blink.
  BitBlt(memory.get(), 0, 0, rect.width, rect.height, screen.get(), rect.left, rect.top, SRCCOPY);
  screen.Release();
  // The bitmap must not be selected anywhere while its bits are read.
  selected.Restore();
  return bitmap;
}

}  // namespace

bool GdiScreenSource::CapturePixelsInto(Picture& into, ScreenRect rect) {
  if (rect.width < 1 || rect.height < 1) return false;
  ScreenDc screen;
  if (!screen) return false;
  MemoryDc memory(screen.get());
  const GdiObject bitmap = CopyScreenRect(memory, screen, rect);
  if (!bitmap || !into.Reshape(rect.width, rect.height)) return false;

  // 32 bits per pixel, top-down (negative height): GetDIBits writes B, G, R,
  // X per pixel, which read as a little-endian word is 0xXXRRGGBB, straight
  // into the picture's rows, converting from whatever depth the screen has.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = rect.width;
  info.bmiHeader.biHeight = -rect.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const int lines = GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0,
                              static_cast<UINT>(rect.height), into.pixels.data(), &info,
                              DIB_RGB_COLORS);
  if (lines != rect.height) return false;
  // GDI leaves the fourth byte undefined.
  for (std::uint32_t& pixel : into.pixels) pixel &= 0x00FFFFFFu;
  return true;
}

ByteArray GdiScreenSource::CaptureScreenRect(std::int32_t x, std::int32_t y,
                                             std::int32_t width, std::int32_t height) {
  // Sizes below 1 (or too large for a BMP) have no pixels to read: no picture.
  if (width < 1 || height < 1) return {};

  ScreenDc screen;
  if (!screen) return {};
  int bpp = GetDeviceCaps(screen.get(), BITSPIXEL);
  // At 8 bits per pixel or fewer the read would put a colour table where the
  // rows go, and 15/16-bit rows are a layout the frame decoder does not take:
  // ask for 24 bits instead, which GetDIBits converts to.
  if (bpp != 24 && bpp != 32) bpp = 24;
  const std::optional<BmpLayout> layout = ComputeBmpLayout(width, height, bpp);
  if (!layout) return {};

  MemoryDc memory(screen.get());
  const GdiObject bitmap = CopyScreenRect(memory, screen, {x, y, width, height});
  if (!bitmap) return {};

  ByteArray image = BuildBmpFileImage(*layout);
  if (image.empty()) return {};
  // The rows go straight into their final place at image[54]: no further copy
  // of the pixels. The 40-byte header is passed through an aligned copy (the
  // one in the image sits at offset 14) and taken back with what GetDIBits
  // filled in (biSizeImage).
  BITMAPINFO info{};
  static_assert(sizeof(info.bmiHeader) == kBmpInfoHeaderSize);
  std::memcpy(&info.bmiHeader, image.data() + kBmpFileHeaderSize, kBmpInfoHeaderSize);
  const int lines = GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0,
                              static_cast<UINT>(height), image.data() + kBmpPixelOffset, &info,
                              DIB_RGB_COLORS);
  if (lines == 0) return {};
  std::memcpy(image.data() + kBmpFileHeaderSize, &info.bmiHeader, kBmpInfoHeaderSize);
  return image;
}

std::optional<ScreenPoint> CursorPointerSource::QueryPointer() {
  POINT p{};
  if (!GetCursorPos(&p)) return std::nullopt;
  return ScreenPoint{static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)};
}

}  // namespace orvamy::win32
