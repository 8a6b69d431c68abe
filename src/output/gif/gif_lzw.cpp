#include "output/gif/gif_lzw.h"

#include <array>
#include <cstring>

namespace orvamy::gif {
namespace {

constexpr int kMaxCodeBits = 12;
constexpr std::uint32_t kTableLimit = 1u << kMaxCodeBits;  // 4096 codes
constexpr std::uint32_t kHashSize = 1u << 13;              // twice the table: short probes
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

// Packs codes LSB-first and cuts them into sub-blocks as they fill.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void Put(std::uint32_t code, int bits) {
    acc_ |= static_cast<std::uint64_t>(code) << count_;
    count_ += bits;
    while (count_ >= 8) {
      Byte(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      count_ -= 8;
    }
  }

  void Finish() {
    if (count_ > 0) Byte(static_cast<std::uint8_t>(acc_));
    acc_ = 0;
    count_ = 0;
    if (block_used_ > 0) {
      out_[block_start_] = static_cast<std::uint8_t>(block_used_);
    } else if (block_open_) {
      out_.pop_back();  // an opened block that never got a byte
    }
    out_.push_back(0);
  }

 private:
  void Byte(std::uint8_t b) {
    if (!block_open_ || block_used_ == 255) {
      if (block_open_) out_[block_start_] = 255;
      block_start_ = out_.size();
      out_.push_back(0);
      block_open_ = true;
      block_used_ = 0;
    }
    out_.push_back(b);
    ++block_used_;
  }

  std::vector<std::uint8_t>& out_;
  std::uint64_t acc_ = 0;
  int count_ = 0;
  std::size_t block_start_ = 0;
  int block_used_ = 0;
  bool block_open_ = false;
};

}  // namespace

void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const Alternatives* alternatives) {
  out.push_back(static_cast<std::uint8_t>(min_code_size));
  out.reserve(out.size() + indices.size() / 2 + 64);
  const std::uint32_t clear = 1u << min_code_size;
  const std::uint32_t end = clear + 1;
  CodeWriter writer(out);

  // Open addressing over (prefix << 8 | byte) -> code; a key of kEmpty marks a
  // free slot. Cleared with the table.
  std::vector<std::uint32_t> keys(kHashSize, kEmpty);
  std::vector<std::uint16_t> codes(kHashSize);
  int bits = min_code_size + 1;
  std::uint32_t next = end + 1;
  writer.Put(clear, bits);
  if (indices.empty()) {
    writer.Put(end, bits);
    writer.Finish();
    return;
  }

  // The slot of `key`: where it is, or the free slot where it would go.
  const auto find = [&](std::uint32_t key, bool& found) {
    std::uint32_t slot = (key * 2654435761u) >> (32 - 13);
    while (keys[slot] != kEmpty) {
      if (keys[slot] == key) {
        found = true;
        return slot;
      }
      slot = (slot + 1) & (kHashSize - 1);
    }
    found = false;
    return slot;
  };

  std::uint32_t prefix = indices[0];
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const std::uint32_t byte = indices[i];
    const std::uint32_t key = (prefix << 8) | byte;
    bool found = false;
    const std::uint32_t slot = find(key, found);
    if (found) {
      prefix = codes[slot];
      continue;
    }
    if (alternatives) {
      bool stood_in = false;
      for (const std::uint8_t alt : alternatives->of[byte]) {
        if (alt == 0xFF) break;
        const std::uint32_t alt_slot = find((prefix << 8) | alt, stood_in);
        if (stood_in) {
          prefix = codes[alt_slot];
          break;
        }
      }
      if (stood_in) continue;
    }
    writer.Put(prefix, bits);
    if (next < kTableLimit) {
      // The decoder learns this entry one code later, and widens its codes as
      // soon as its next free code no longer fits: widen in step with it.
      keys[slot] = key;
      codes[slot] = static_cast<std::uint16_t>(next);
      if (next == (1u << bits) && bits < kMaxCodeBits) ++bits;
      ++next;
    } else {
      // Table full: start afresh, so codes keep adapting to the picture.
      writer.Put(clear, bits);
      std::fill(keys.begin(), keys.end(), kEmpty);
      bits = min_code_size + 1;
      next = end + 1;
    }
    prefix = byte;
  }
  writer.Put(prefix, bits);
  writer.Put(end, bits);
  writer.Finish();
}

}  // namespace orvamy::gif
