#pragma once
// One frame on its way from the frame thread to the writer: a rectangle of
// the logical screen with its colour table, its indices and the freedom the
// LZW encoder has in writing them.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "output/gif/gif_lzw.h"

namespace orvamy::gif {

// The head of a large frame, compressed by the frame thread while the writer
// compresses the tail. Thread-safe.
class HeadPart {
 public:
  // Called by the frame thread only, once its bits are complete (or, with
  // ok false, abandoned).
  void Finish(bool ok) {
    std::lock_guard lock(mutex_);
    done_ = true;
    ok_ = ok;
    ready_.notify_all();
  }
  // Called by the writer only. Waits for Finish; false when abandoned.
  bool Wait() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return done_; });
    return ok_;
  }
  LzwBits bits;  // the frame thread's until Finish, then the writer's

 private:
  std::mutex mutex_;  // guards done_, ok_
  std::condition_variable ready_;
  bool done_ = false;
  bool ok_ = false;
};

constexpr std::uint16_t kMinDelay = 2;  // browsers slow 0 and 1 down to 10

struct IndexedFrame {
  std::uint16_t screen_width = 0;  // set on the first frame only: write the header
  std::uint16_t screen_height = 0;
  std::uint16_t left = 0, top = 0, width = 0, height = 0;
  std::uint16_t delay = kMinDelay;
  int transparent = -1;
  int bits = 2;                        // table of 1 << bits entries
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  // `palette` is the file's global table: the first frame writes it in the
  // header, and no frame that uses it carries a table of its own.
  bool global_table = false;
  std::vector<std::uint8_t> indices;
  // Exact frames with transparency: pixels that may be written either way.
  std::vector<std::uint8_t> either;
  // Quantised frames: the source colours, for lossy matching within max_error.
  std::vector<std::uint32_t> source;
  std::int64_t max_error = 0;
  // Quantised frames: per pixel, the error a stand-in may have (limit) and
  // the error the neighbourhood allows whatever the table (bound).
  std::vector<std::uint32_t> limit;
  std::vector<std::uint32_t> bound;
  // Filled by LZW: the index each pixel is decoded as (frames that track it).
  std::vector<std::uint8_t> written;
  // Large frames: the first head_count indices compressed by the frame
  // thread at the same time as the writer compresses the rest.
  std::size_t head_count = 0;
  std::shared_ptr<HeadPart> head;
  bool finish = false;  // no more frames: end the file

  // Called by the thread holding the frame. The encoder's freedom for the
  // indices from `from` on.
  std::optional<LzwChoices> Choices(std::size_t from) {
    if (source.empty() && either.empty() && written.empty()) return std::nullopt;
    LzwChoices c;
    c.transparent = transparent;
    if (!written.empty()) c.written = std::span<std::uint8_t>(written).subspan(from);
    if (!limit.empty()) c.limit = std::span<const std::uint32_t>(limit).subspan(from);
    if (!either.empty()) c.either = std::span<const std::uint8_t>(either).subspan(from);
    if (!source.empty()) {
      c.source = std::span<const std::uint32_t>(source).subspan(from);
      c.palette = palette;
      c.max_error = max_error;
    }
    return c;
  }

  // Called by the thread holding the frame. Empties the frame and keeps its
  // memory for the next one.
  void ClearKeepingMemory() {
    std::vector<std::uint32_t> p, s, l, b;
    std::vector<std::uint8_t> i, e, w;
    p.swap(palette);
    s.swap(source);
    l.swap(limit);
    b.swap(bound);
    i.swap(indices);
    e.swap(either);
    w.swap(written);
    *this = IndexedFrame{};
    p.clear(), s.clear(), l.clear(), b.clear(), i.clear(), e.clear(), w.clear();
    palette.swap(p);
    source.swap(s);
    limit.swap(l);
    bound.swap(b);
    indices.swap(i);
    either.swap(e);
    written.swap(w);
  }
};

}  // namespace orvamy::gif
