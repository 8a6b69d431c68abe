#include "platform/win32/win32_capture.h"

#include <cstring>

#include "capture/bmp.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {

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
  GdiObject bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  {
    SelectedObject selected(memory.get(), bitmap.get());
    // SRCCOPY alone: no CAPTUREBLT, so the copy does not make the cursor blink.
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), x, y, SRCCOPY);
    screen.Release();
    // The bitmap must not be selected anywhere while its bits are read.
    selected.Restore();
  }

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
