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

// Packs codes LSB-first straight into the output's memory, sized up front for
// the longest stream the indices can give.
class BitWriter {
 public:
  BitWriter(LzwBits& out, std::size_t max_codes) : out_(out) {
    out_.bit_count = 0;
    out_.bytes.resize(max_codes * 12 / 8 + 16);
    at_ = out_.bytes.data();
  }
  void Put(std::uint32_t code, int bits) {
    acc_ |= static_cast<std::uint64_t>(code) << count_;
    count_ += bits;
    bit_total_ += static_cast<std::uint64_t>(bits);
    if (count_ >= 32) {
      for (int k = 0; k < 4; ++k) *at_++ = static_cast<std::uint8_t>(acc_ >> (8 * k));
      acc_ >>= 32;
      count_ -= 32;
    }
  }
  std::uint64_t bit_total() const { return bit_total_; }
  void Flush() {
    while (count_ > 0) {
      *at_++ = static_cast<std::uint8_t>(acc_);
      acc_ >>= 8;
      count_ -= 8;
    }
    count_ = 0;
    acc_ = 0;
    const auto used = static_cast<std::size_t>(at_ - out_.bytes.data());
    out_.bytes.resize(used);
    out_.bit_count = bit_total_;
  }

 private:
  LzwBits& out_;
  std::uint8_t* at_ = nullptr;
  std::uint64_t acc_ = 0;
  std::uint64_t bit_total_ = 0;
  int count_ = 0;
};

// Cuts a byte stream into sub-blocks of at most 255 bytes.
void AppendSubBlocks(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
  while (size > 0) {
    const std::size_t n = std::min<std::size_t>(size, 255);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data, data + n);
    data += n;
    size -= n;
  }
}

constexpr std::uint64_t kNoBitLimit = UINT64_MAX;

// The encoder, built once per kind of freedom, so the loop over the indices
// carries no tests for freedoms the frame does not have. Gives up (returns
// false, `out` unfinished) once its codes pass `give_up_bits`.
template <bool kLossy, bool kEither>
bool Encode(std::span<const std::uint8_t> indices, int min_code_size, LzwPart part,
            const LzwChoices* choices, LzwBits& out, std::uint64_t give_up_bits) {
  const std::uint32_t clear = 1u << min_code_size;
  const std::uint32_t end = clear + 1;
  // At most one code per index, a clear code per full table and three more.
  BitWriter writer(out, indices.size() + indices.size() / 1024 + 8);

  // Open addressing over (prefix << 8 | byte) -> code, both in one word
  // (key << 12 | code; the key has 20 bits, the code 12), so that a probe
  // reads one small array. kEmpty marks a free slot: it would be code 4095
  // continuing code 4095, which cannot exist. Cleared with the table.
  std::vector<std::uint32_t> slots(kHashSize, kEmpty);
  const LzwChoices* lossy = kLossy ? choices : nullptr;
  constexpr bool has_either = kEither;
  const std::uint32_t clear_index = has_either ? static_cast<std::uint32_t>(choices->transparent) : 0;
  // For lossy matching: the strings that continue each code and may stand in
  // (their last index is not the transparent one), as lists that carry the
  // colour each string ends in, so a walk reads one entry per string.
  constexpr std::uint16_t kNone = 0xFFFF;
  struct Child {
    std::uint32_t colour;
    std::uint16_t next_sibling;
  };
  std::vector<std::uint16_t> first_child;
  std::vector<Child> children;
  // The index each code's string ends in, for `written`.
  const bool tell = choices && !choices->written.empty();
  std::uint8_t last_index[kTableLimit];
  for (std::uint32_t c = 0; c < clear; ++c) last_index[c] = static_cast<std::uint8_t>(c);
  const auto wrote = [&](std::size_t i, std::uint32_t index) {
    if (tell) choices->written[i] = static_cast<std::uint8_t>(index);
  };
  if (kLossy) {
    first_child.assign(kTableLimit, kNone);
    children.assign(kTableLimit, Child{0, kNone});
  }
  int bits = min_code_size + 1;
  std::uint32_t next = end + 1;
  if (part != LzwPart::kTail) writer.Put(clear, bits);
  const std::uint32_t last = part == LzwPart::kHead ? clear : end;
  if (indices.empty()) {
    writer.Put(last, bits);
    writer.Flush();
    return true;
  }

  // The slot of `key`: where it is, or the free slot where it would go.
  const auto find = [&](std::uint32_t key, bool& found) {
    std::uint32_t slot = (key * 2654435761u) >> (32 - kHashBits);
    for (;;) {
      const std::uint32_t v = slots[slot];
      if (v == kEmpty) break;
      if ((v >> 12) == key) {
        found = true;
        return slot;
      }
      slot = (slot + 1) & (kHashSize - 1);
    }
    found = false;
    return slot;
  };
  const auto code_at = [&](std::uint32_t slot) { return slots[slot] & 0xFFFu; };
  // After each code the decoder learns one entry (one code late) and widens
  // its codes as soon as its next free code no longer fits: keep in step.
  const auto learn = [&](std::uint32_t slot, std::uint32_t key) {
    slots[slot] = key << 12 | next;
    last_index[next] = static_cast<std::uint8_t>(key & 0xFF);
    if (kLossy && static_cast<int>(key & 0xFF) != lossy->transparent) {
      const std::uint32_t parent = key >> 8;
      children[next] = Child{lossy->palette[key & 0xFF], first_child[parent]};
      first_child[parent] = static_cast<std::uint16_t>(next);
    }
    if (next == (1u << bits) && bits < kMaxCodeBits) ++bits;
    ++next;
  };

  // Where the string held in `code` at pixel j stops growing (at most
  // kLookAhead pixels on), taking either-pixels either way as the walk below
  // does (stand-ins aside).
  constexpr std::size_t kLookAhead = 16;
  const auto stop = [&](std::uint32_t code, std::size_t j) {
    const std::size_t limit = std::min(indices.size(), j + kLookAhead);
    for (; j < limit; ++j) {
      bool found = false;
      const std::uint32_t slot = find((code << 8) | indices[j], found);
      if (found) {
        code = code_at(slot);
        continue;
      }
      if (!choices->either[j]) break;
      const std::uint32_t clear_slot = find((code << 8) | clear_index, found);
      if (!found) break;
      code = code_at(clear_slot);
    }
    return j;
  };
  const auto reach = [&](std::size_t i, std::uint32_t first) { return stop(first, i + 1); };
  // The index a new string starts with: for an either-pixel, whichever of
  // its own index and the clear one reaches further; on a tie, clear after a
  // pixel that may be clear, so that clear runs stay unbroken.
  const auto start = [&](std::size_t i) -> std::uint32_t {
    if (!has_either || !choices->either[i]) return indices[i];
    const std::size_t own = reach(i, indices[i]);
    const std::size_t clear_reach = reach(i, clear_index);
    if (own != clear_reach) return own > clear_reach ? indices[i] : clear_index;
    if (i > 0 && (choices->either[i - 1] || indices[i - 1] == clear_index)) return clear_index;
    return indices[i];
  };
  std::uint32_t prefix = start(0);
  wrote(0, prefix);
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const std::uint32_t byte = indices[i];
    const std::uint32_t key = (prefix << 8) | byte;
    bool found = false;
    const std::uint32_t slot = find(key, found);
    if (found) {
      prefix = code_at(slot);
      if (has_either && choices->either[i] == kEitherSame && byte != clear_index) {
        // Both values continue the string: take the one that carries it further.
        bool clear_found = false;
        const std::uint32_t clear_slot = find((key & ~0xFFu) | clear_index, clear_found);
        if (clear_found && stop(code_at(clear_slot), i + 1) > stop(prefix, i + 1)) {
          prefix = code_at(clear_slot);
          wrote(i, clear_index);
          continue;
        }
      }
      wrote(i, byte);
      continue;
    }
    if (has_either && choices->either[i]) {
      bool clear_found = false;
      const std::uint32_t clear_slot = find((prefix << 8) | clear_index, clear_found);
      if (clear_found) {
        prefix = code_at(clear_slot);
        wrote(i, clear_index);
        continue;
      }
    }
    const std::int64_t allowed = !kLossy ? 0 : lossy->limit.empty() ? lossy->max_error : lossy->limit[i];
    if (kLossy && allowed > 0 && static_cast<int>(byte) != lossy->transparent) {
      const std::uint32_t want = lossy->source[i];
      std::int64_t best = allowed + 1;
      std::uint32_t best_code = kNone;
      for (std::uint32_t c = first_child[prefix]; c != kNone; c = children[c].next_sibling) {
        const std::int64_t d = Distance(children[c].colour, want);
        if (d < best) {
          best = d;
          best_code = c;
          if (d == 0) break;  // nothing comes closer; ties keep the first
        }
      }
      if (best_code != kNone) {
        prefix = best_code;
        wrote(i, last_index[best_code]);
        continue;
      }
    }
    const std::uint32_t first = start(i);
    wrote(i, first);
    writer.Put(prefix, bits);
    if (writer.bit_total() > give_up_bits) return false;
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
      std::fill(slots.begin(), slots.end(), kEmpty);
      if (kLossy) std::fill(first_child.begin(), first_child.end(), kNone);
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
  return out.bit_count <= give_up_bits;
}

bool EncodeOnce(std::span<const std::uint8_t> indices, int min_code_size, LzwPart part,
                const LzwChoices* choices, LzwBits& out, std::uint64_t give_up_bits) {
  const bool lossy = choices && choices->lossy();
  const bool either = choices && choices->transparent >= 0 && !choices->either.empty();
  if (lossy && either) return Encode<true, true>(indices, min_code_size, part, choices, out, give_up_bits);
  if (lossy) return Encode<true, false>(indices, min_code_size, part, choices, out, give_up_bits);
  if (either) return Encode<false, true>(indices, min_code_size, part, choices, out, give_up_bits);
  return Encode<false, false>(indices, min_code_size, part, choices, out, give_up_bits);
}

}  // namespace

// Which way to write the pixels that may go either way codes shortest depends
// on the whole picture, not on the next few pixels: over a moved UI whose rows
// repeat, every such pixel in its own colour keeps the strings of one row
// useful for the next, where the choice pixel by pixel mixes clear pixels into
// them; over a glide that leaves most of the picture in place, all of them
// that already show their exact colour clear does best; among many pixels
// that must stay clear (colours missing from the table), the choice pixel by
// pixel. So the indices are coded all
// three ways and the shortest kept (the first on a tie); a way gives up as
// soon as it is no shorter than the best so far.
void EncodeLzw(std::span<const std::uint8_t> indices, int min_code_size, LzwPart part,
               const LzwChoices* choices, LzwBits& out) {
  EncodeOnce(indices, min_code_size, part, choices, out, kNoBitLimit);
  if (!choices || choices->transparent < 0 || choices->either.empty()) return;
  const bool tell = !choices->written.empty();
  std::vector<std::uint8_t> written(tell ? indices.size() : 0);
  LzwBits trial;
  // The trial, when shorter, takes the place of what `out` holds.
  const auto keep_if_shorter = [&](std::span<const std::uint8_t> values, LzwChoices fixed) {
    fixed.either = {};
    fixed.written = written;
    if (!EncodeOnce(values, min_code_size, part, &fixed, trial, out.bit_count - 1)) return;
    std::swap(out, trial);
    if (tell) std::copy(written.begin(), written.end(), choices->written.begin());
  };
  // Every pixel that may go either way in its own colour: `indices` hold it.
  keep_if_shorter(indices, *choices);
  // Every such pixel that already shows its very colour clear. One that
  // shows a stand-in is written: kept clear in every frame, a stand-in would
  // outlive the frames that could show its exact colour.
  std::vector<std::uint8_t> cleared(indices.begin(), indices.end());
  const auto clear_index = static_cast<std::uint8_t>(choices->transparent);
  for (std::size_t i = 0; i < cleared.size(); ++i) {
    if (choices->either[i] == kEitherSame) cleared[i] = clear_index;
  }
  keep_if_shorter(cleared, *choices);
}

void AppendImageData(int min_code_size, const LzwBits& head, const LzwBits* tail,
                     std::vector<std::uint8_t>& out) {
  out.push_back(static_cast<std::uint8_t>(min_code_size));
  const std::size_t total = head.bytes.size() + (tail ? tail->bytes.size() : 0);
  out.reserve(out.size() + total + total / 255 + 4);
  const std::size_t whole = static_cast<std::size_t>(head.bit_count / 8);
  const int spare = static_cast<int>(head.bit_count % 8);  // head bits left in its last byte
  if (!tail) {
    AppendSubBlocks(head.bytes.data(), whole + (spare ? 1 : 0), out);
  } else {
    // One stream: the tail's bits follow the head's last bits directly.
    std::vector<std::uint8_t> joined(head.bytes.begin(),
                                     head.bytes.begin() + static_cast<std::ptrdiff_t>(whole));
    joined.reserve(whole + tail->bytes.size() + 1);
    if (spare == 0) {
      joined.insert(joined.end(), tail->bytes.begin(), tail->bytes.end());
    } else {
      std::uint32_t acc = head.bytes[whole] & ((1u << spare) - 1);
      for (std::uint8_t b : tail->bytes) {
        acc |= static_cast<std::uint32_t>(b) << spare;
        joined.push_back(static_cast<std::uint8_t>(acc));
        acc >>= 8;
      }
      if (static_cast<std::uint64_t>(spare) + (tail->bit_count % 8 == 0 ? 8 : tail->bit_count % 8) > 8) {
        joined.push_back(static_cast<std::uint8_t>(acc));
      }
    }
    AppendSubBlocks(joined.data(), joined.size(), out);
  }
  out.push_back(0);
}

void AppendLzwImageData(std::span<const std::uint8_t> indices, int min_code_size,
                        std::vector<std::uint8_t>& out, const LzwChoices* choices) {
  LzwBits bits;
  EncodeLzw(indices, min_code_size, LzwPart::kWhole, choices, bits);
  AppendImageData(min_code_size, bits, nullptr, out);
}

}  // namespace orvamy::gif
