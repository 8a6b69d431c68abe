#pragma once
// The GIF file's own blocks around the compressed pixels: the header with the
// logical screen and the endless-loop block, each frame's graphic control
// extension, image descriptor and local colour table, and the trailer.

#include <cstdint>
#include <span>
#include <vector>

#include "output/gif/gif_frame.h"

namespace orvamy::gif {

// GIF89a, the logical screen with `global` as its global table (none when
// empty; else a power of two of 4 to 256 entries), loop forever.
void AppendHeader(std::uint16_t screen_width, std::uint16_t screen_height,
                  std::span<const std::uint32_t> global, std::vector<std::uint8_t>& out);

// Everything of `frame` that comes before its image data. Frames are left in
// place (disposal 1), so later frames draw over them.
void AppendFrameStart(const IndexedFrame& frame, std::vector<std::uint8_t>& out);

// Compresses the frame's indices (joining the head the frame thread
// compressed, if any) and appends the image data. `tail` is scratch memory.
void AppendFrameData(IndexedFrame& frame, LzwBits& tail, std::vector<std::uint8_t>& out);

void AppendTrailer(std::vector<std::uint8_t>& out);

}  // namespace orvamy::gif
