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

// Freedom the encoder may use to find longer strings; each span lines up with
// the indices.
// - `either`: where nonzero, the pixel may be written with its index or with
//   `transparent` (it may stay as shown, and its colour is in the table).
//   The indices are coded three ways and the shortest kept: all such pixels
//   with their index, all those marked kEitherSame transparent (the others
//   with their index), and pixel by pixel, where whichever continues the
//   current string is taken. kEitherSame marks
//   pixels whose shown colour is their index's colour, so both look the
//   same: there, when both continue the string, the one that carries it
//   further is taken; elsewhere the index (its exact colour) is.
// - Lossy matching (quantised frames, max_error > 0): where the exact string
//   is not in the table, a string that ends in another colour is taken when
//   that colour lies within max_error (gif::Distance units) of the pixel's
//   own source colour, the nearest of those that continue the current string.
//   The error is bounded against the picture, not against its quantised
//   colour. The transparent index is never replaced and never stands in.
//   `limit`, when given, bounds each pixel on its own instead of max_error
//   (0: that pixel is written exactly as indexed).
// - `written`, when given, receives per pixel the index the decoder will
//   produce: what the viewer sees, stand-ins and either-way choices included.
constexpr std::uint8_t kEither = 1;
constexpr std::uint8_t kEitherSame = 2;

struct LzwChoices {
  int transparent = -1;
  std::span<const std::uint8_t> either;
  std::span<const std::uint32_t> source;   // 0x00RRGGBB per index
  std::span<const std::uint32_t> palette;  // the frame's table
  std::int64_t max_error = 0;
  std::span<const std::uint32_t> limit;
  std::span<std::uint8_t> written;
  bool lossy() const { return max_error > 0 || !limit.empty(); }
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
               const LzwChoices* choices, LzwBits& out);

// Appends the image data: the minimum code size byte, the bits of `head`
// followed by those of `tail` in sub-blocks, and the terminating empty block.
void AppendImageData(int min_code_size, const LzwBits& head, const LzwBits* tail,
                     std::vector<std::uint8_t>& out);

// Both steps for one whole frame.
void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const LzwChoices* choices = nullptr);

}  // namespace orvamy::gif
