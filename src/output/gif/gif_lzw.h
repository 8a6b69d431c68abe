#pragma once
// GIF's variable-width LZW: codes from min_code_size + 1 up to 12 bits, a clear
// code first and whenever the 4096-entry table is full, packed into sub-blocks
// of at most 255 bytes.

#include <cstdint>
#include <span>
#include <vector>

namespace orvamy::gif {

// Appends the image data of one frame to `out`: the minimum code size byte,
// the sub-blocks and the zero-length block that ends them. Every index must be
// below 1 << min_code_size; min_code_size is 2..8.
void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out);

}  // namespace orvamy::gif
