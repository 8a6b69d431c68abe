#pragma once
// GIF's variable-width LZW: codes from min_code_size + 1 up to 12 bits, a clear
// code first and whenever the 4096-entry table is full, packed into sub-blocks
// of at most 255 bytes.
//
// A large frame may be compressed in two parts on two threads: the head ends
// with a clear code, after which a decoder starts a fresh table, exactly as
// the tail's encoder does; the two bit strings are then joined.

#include <cstdint>
#include <span>
#include <vector>

namespace orvamy::gif {

// For every index up to kMaxAlternatives other indices (0xFF-padded, nearest
// first) that may stand in for it: where the exact string is not in the table
// but one with a stand-in is, the longer match is taken. That trades a bounded
// colour error for much longer strings on photo-like areas; exact frames pass
// none.
inline constexpr int kMaxAlternatives = 3;
struct Alternatives {
  std::uint8_t of[256][kMaxAlternatives];
};

// Codes packed LSB-first, not yet cut into sub-blocks.
struct LzwBits {
  std::vector<std::uint8_t> bytes;
  std::uint64_t bit_count = 0;
};

enum class LzwPart { kWhole, kHead, kTail };

// Compresses `indices` (each below 1 << min_code_size, which is 2..8).
// kWhole and kHead start with a clear code; kWhole and kTail end with the end
// code, kHead with a clear code.
void EncodeLzw(std::span<const std::uint8_t> indices, int min_code_size, LzwPart part,
               const Alternatives* alternatives, LzwBits& out);

// Appends the image data: the minimum code size byte, the bits of `head`
// followed by those of `tail` in sub-blocks, and the terminating empty block.
void AppendImageData(int min_code_size, const LzwBits& head, const LzwBits* tail,
                     std::vector<std::uint8_t>& out);

// Both steps for one whole frame.
void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const Alternatives* alternatives = nullptr);

}  // namespace orvamy::gif
