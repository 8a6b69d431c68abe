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
//
// `alternatives`, when not empty, holds for every index up to kMaxAlternatives
// other indices (0xFF-padded, nearest first) that may stand in for it: where
// the exact string is not in the table but one with a stand-in is, the
// longer match is taken. That trades a bounded colour error for much longer
// strings on photo-like areas; exact frames pass no alternatives.
inline constexpr int kMaxAlternatives = 6;
struct Alternatives {
  std::uint8_t of[256][kMaxAlternatives];
};
void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const Alternatives* alternatives = nullptr);

}  // namespace orvamy::gif
