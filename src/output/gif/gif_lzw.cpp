#include "output/gif/gif_lzw.h"

#include <algorithm>

#include "output/gif/gif_palette.h"

namespace orvamy::gif {
namespace {

constexpr int kMaxCodeBits = 12;
constexpr std::uint32_t kTableLimit = 1u << kMaxCodeBits;  // 4096 codes
constexpr int kHashBits = 13;                              // twice the table: short probes
constexpr std::uint32_t kHashSize = 1u << kHashBits;
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

class BitWriter {
 public:
  explicit BitWriter(LzwBits& out) : out_(out) {
    out_.bytes.clear();
    out_.bit_count = 0;
  }
  void Put(std::uint32_t code, int bits) {
    acc_ |= static_cast<std::uint64_t>(code) << count_;
    count_ += bits;
    out_.bit_count += static_cast<std::uint64_t>(bits);
    while (count_ >= 8) {
      out_.bytes.push_back(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      count_ -= 8;
    }
  }
  void Flush() {
    if (count_ > 0) out_.bytes.push_back(static_cast<std::uint8_t>(acc_));
    acc_ = 0;
    count_ = 0;
  }

 private:
  LzwBits& out_;
  std::uint64_t acc_ = 0;
  int count_ = 0;
};

class SubBlocks {
 public:
  explicit SubBlocks(std::vector<std::uint8_t>& out) : out_(out) {}
  void Byte(std::uint8_t b) {
    if (used_ == 255 || !open_) Open();
    out_.push_back(b);
    ++used_;
  }
  void End() {
    if (open_) out_[start_] = static_cast<std::uint8_t>(used_);
    out_.push_back(0);
  }

 private:
  void Open() {
    if (open_) out_[start_] = static_cast<std::uint8_t>(used_);
    start_ = out_.size();
    out_.push_back(0);
    used_ = 0;
    open_ = true;
  }
  std::vector<std::uint8_t>& out_;
  std::size_t start_ = 0;
  int used_ = 0;
  bool open_ = false;
};

}  // namespace

void EncodeLzw(std::span<const std::uint8_t> indices, int min_code_size, LzwPart part,
               const LzwChoices* choices, LzwBits& out) {
  out.bytes.reserve(indices.size() / 2 + 64);
  const std::uint32_t clear = 1u << min_code_size;
  const std::uint32_t end = clear + 1;
  BitWriter writer(out);

  // Open addressing over (prefix << 8 | byte) -> code; a key of kEmpty marks a
  // free slot. Cleared with the table.
  std::vector<std::uint32_t> keys(kHashSize, kEmpty);
  std::vector<std::uint16_t> codes(kHashSize);
  const LzwChoices* lossy = choices && choices->max_error > 0 ? choices : nullptr;
  const bool has_either = choices && choices->transparent >= 0 && !choices->either.empty();
  const std::uint32_t clear_index = has_either ? static_cast<std::uint32_t>(choices->transparent) : 0;
  // For lossy matching: the strings that continue each code, as lists.
  constexpr std::uint16_t kNone = 0xFFFF;
  std::vector<std::uint16_t> first_child, next_sibling;
  std::vector<std::uint8_t> suffix;
  if (lossy) {
    first_child.assign(kTableLimit, kNone);
    next_sibling.assign(kTableLimit, kNone);
    suffix.assign(kTableLimit, 0);
  }
  int bits = min_code_size + 1;
  std::uint32_t next = end + 1;
  if (part != LzwPart::kTail) writer.Put(clear, bits);
  const std::uint32_t last = part == LzwPart::kHead ? clear : end;
  if (indices.empty()) {
    writer.Put(last, bits);
    writer.Flush();
    return;
  }

  // The slot of `key`: where it is, or the free slot where it would go.
  const auto find = [&](std::uint32_t key, bool& found) {
    std::uint32_t slot = (key * 2654435761u) >> (32 - kHashBits);
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
  // After each code the decoder learns one entry (one code late) and widens
  // its codes as soon as its next free code no longer fits: keep in step.
  const auto learn = [&](std::uint32_t slot, std::uint32_t key) {
    keys[slot] = key;
    if (lossy) {
      const std::uint32_t parent = key >> 8;
      suffix[next] = static_cast<std::uint8_t>(key);
      next_sibling[next] = first_child[parent];
      first_child[parent] = static_cast<std::uint16_t>(next);
    }
    codes[slot] = static_cast<std::uint16_t>(next);
    if (next == (1u << bits) && bits < kMaxCodeBits) ++bits;
    ++next;
  };

  // The index a new string starts with: an either-pixel after a pixel that
  // may be clear starts clear, so that clear runs stay unbroken.
  const auto start = [&](std::size_t i) -> std::uint32_t {
    if (has_either && choices->either[i] && i > 0 &&
        (choices->either[i - 1] || indices[i - 1] == clear_index)) {
      return clear_index;
    }
    return indices[i];
  };
  std::uint32_t prefix = start(0);
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const std::uint32_t byte = indices[i];
    const std::uint32_t key = (prefix << 8) | byte;
    bool found = false;
    const std::uint32_t slot = find(key, found);
    if (found) {
      prefix = codes[slot];
      continue;
    }
    if (has_either && choices->either[i]) {
      bool clear_found = false;
      const std::uint32_t clear_slot = find((prefix << 8) | clear_index, clear_found);
      if (clear_found) {
        prefix = codes[clear_slot];
        continue;
      }
    }
    if (lossy && static_cast<int>(byte) != lossy->transparent) {
      const std::uint32_t want = lossy->source[i];
      std::int64_t best = lossy->max_error + 1;
      std::uint32_t best_code = kNone;
      for (std::uint32_t c = first_child[prefix]; c != kNone; c = next_sibling[c]) {
        if (static_cast<int>(suffix[c]) == lossy->transparent) continue;
        const std::int64_t d = Distance(lossy->palette[suffix[c]], want);
        if (d < best) {
          best = d;
          best_code = c;
        }
      }
      if (best_code != kNone) {
        prefix = best_code;
        continue;
      }
    }
    const std::uint32_t first = start(i);
    writer.Put(prefix, bits);
    if (next < kTableLimit) {
      if (first == byte) {
        learn(slot, key);
      } else {
        const std::uint32_t first_key = (prefix << 8) | first;
        bool known = false;
        const std::uint32_t first_slot = find(first_key, known);
        // Not known: it would have matched. Learnt all the same, as the decoder does.
        learn(first_slot, first_key);
      }
    } else {
      // Table full: start afresh, so codes keep adapting to the picture.
      writer.Put(clear, bits);
      std::fill(keys.begin(), keys.end(), kEmpty);
      if (lossy) std::fill(first_child.begin(), first_child.end(), kNone);
      bits = min_code_size + 1;
      next = end + 1;
    }
    prefix = first;
  }
  writer.Put(prefix, bits);
  // The decoder still learns an entry from that last code: the code after it
  // comes at the width that follows.
  if (next < kTableLimit) {
    if (next == (1u << bits) && bits < kMaxCodeBits) ++bits;
    ++next;
  }
  writer.Put(last, bits);
  writer.Flush();
}

void AppendImageData(int min_code_size, const LzwBits& head, const LzwBits* tail,
                     std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(min_code_size));
  out.reserve(out.size() + head.bytes.size() + (tail ? tail->bytes.size() : 0) +
              (head.bytes.size() + (tail ? tail->bytes.size() : 0)) / 255 + 4);
  SubBlocks blocks(out);
  const std::size_t whole = static_cast<std::size_t>(head.bit_count / 8);
  for (std::size_t i = 0; i < whole; ++i) blocks.Byte(head.bytes[i]);
  const int spare = static_cast<int>(head.bit_count % 8);  // head bits left in its last byte
  if (!tail) {
    if (spare) blocks.Byte(head.bytes[whole]);
  } else if (spare == 0) {
    for (std::uint8_t b : tail->bytes) blocks.Byte(b);
  } else {
    // Shift the tail in behind the head's last bits.
    std::uint32_t acc = head.bytes[whole] & ((1u << spare) - 1);
    for (std::uint8_t b : tail->bytes) {
      acc |= static_cast<std::uint32_t>(b) << spare;
      blocks.Byte(static_cast<std::uint8_t>(acc));
      acc >>= 8;
    }
    if (static_cast<std::uint64_t>(spare) + (tail->bit_count % 8 == 0 ? 8 : tail->bit_count % 8) > 8) {
      blocks.Byte(static_cast<std::uint8_t>(acc));
    }
  }
  blocks.End();
}

void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const LzwChoices* choices) {
  LzwBits bits;
  EncodeLzw(indices, min_code_size, LzwPart::kWhole, choices, bits);
  AppendImageData(min_code_size, bits, nullptr, out);
}

}  // namespace orvamy::gif
