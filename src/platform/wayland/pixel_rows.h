#pragma once
// The shared-memory pixel layouts a screen-cast stream may deliver, and their
// conversion into the 0x00RRGGBB words the core's pictures hold. Pure: no
// PipeWire types, so the conversion is tested without a stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvamy::wayland {

// Byte order in memory of one 4-byte pixel. The fourth byte (padding or alpha)
// is ignored: a desktop is opaque, and the GIF has no use for its alpha.
enum class PixelLayout { kBGRx, kBGRA, kRGBx, kRGBA };

// Converts `height` rows of `width` pixels, row `y` starting at byte
// `y * stride`, into `out` (resized to width * height, rows top-down).
// False, `out` untouched, when the stride is shorter than a row or the bytes
// end before the last row does: a short buffer must never be read past.
// Thread-safe.
bool ConvertRows(PixelLayout layout, std::span<const std::uint8_t> bytes, std::size_t stride,
                 std::int32_t width, std::int32_t height, std::vector<std::uint32_t>& out);

}  // namespace orvamy::wayland
