#include "output/gif/gif_syntax.h"

#include <span>
#include <stdexcept>
#include <string_view>

namespace orvamy::gif {
namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutTable(std::span<const std::uint32_t> table, std::vector<std::uint8_t>& out) {
  for (std::uint32_t c : table) {
    out.push_back(static_cast<std::uint8_t>(c >> 16));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c));
  }
}

// log2 of a table's entries, minus one: the size field of a table's flags.
int SizeField(std::size_t entries) {
  int bits = 1;
  while ((std::size_t{1} << bits) < entries) ++bits;
  return bits - 1;
}

}  // namespace

void AppendHeader(std::uint16_t screen_width, std::uint16_t screen_height,
                  std::span<const std::uint32_t> global, std::vector<std::uint8_t>& out) {
  // Byte by byte: GCC 12 misreads range inserts into a cleared vector as
  // overflows (-Wstringop-overflow).
  for (const char c : std::string_view("GIF89a")) out.push_back(static_cast<std::uint8_t>(c));
  Put16(out, screen_width);
  Put16(out, screen_height);
  const int flags = global.empty() ? 0x70 : 0xF0 | SizeField(global.size());
  for (const int b : {flags, 0, 0}) out.push_back(static_cast<std::uint8_t>(b));
  PutTable(global, out);
  static constexpr std::uint8_t kLoop[] = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                           'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
  for (const std::uint8_t b : kLoop) out.push_back(b);
}

void AppendFrameStart(const IndexedFrame& frame, std::vector<std::uint8_t>& out) {
  const bool clear = frame.transparent >= 0;
  for (const int b : {0x21, 0xF9, 4}) out.push_back(static_cast<std::uint8_t>(b));
  out.push_back(static_cast<std::uint8_t>(0x04 | (clear ? 1 : 0)));
  Put16(out, frame.delay);
  out.push_back(static_cast<std::uint8_t>(clear ? frame.transparent : 0));
  out.push_back(0);
  out.push_back(0x2C);
  Put16(out, frame.left);
  Put16(out, frame.top);
  Put16(out, frame.width);
  Put16(out, frame.height);
  if (frame.global_table) {
    out.push_back(0);  // no table of its own: the global one
    return;
  }
  out.push_back(static_cast<std::uint8_t>(0x80 | (frame.bits - 1)));
  PutTable(frame.palette, out);
}

void AppendFrameData(IndexedFrame& frame, LzwBits& tail, std::vector<std::uint8_t>& out) {
  if (frame.head_count > 0 && frame.head) {
    const auto lossy = frame.Choices(frame.head_count);
    EncodeLzw(std::span<const std::uint8_t>(frame.indices).subspan(frame.head_count), frame.bits,
              LzwPart::kTail, lossy ? &*lossy : nullptr, tail);
    if (!frame.head->Wait()) throw std::runtime_error("the encoder stopped");
    AppendImageData(frame.bits, frame.head->bits, &tail, out);
  } else {
    const auto lossy = frame.Choices(0);
    AppendLzwImageData(frame.indices, frame.bits, out, lossy ? &*lossy : nullptr);
  }
}

void AppendTrailer(std::vector<std::uint8_t>& out) { out.push_back(0x3B); }

}  // namespace orvamy::gif
