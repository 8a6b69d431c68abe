#include "output/gif/gif_encoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "capture/bmp.h"
#include "output/gif/gif_lzw.h"
#include "output/gif/gif_palette.h"

namespace orvamy {
namespace fs = std::filesystem;
namespace {

constexpr std::uint16_t kMinDelay = 2;          // browsers slow 0 and 1 down to 10
constexpr std::int64_t kMicrosPerHundredth = 10000;
constexpr std::uint32_t kMaxDelay = 65535;     // the field is 16 bits
constexpr std::size_t kMaxQueuedBytes = 48u << 20;
constexpr std::size_t kMaxQueuedFrames = 8;
// From this many changed pixels on, the frame thread compresses the first
// kHeadShare % of a frame itself, which about evens out the two threads.
constexpr std::size_t kSplitPixels = 120000;
constexpr std::size_t kHeadShare = 20;
// How far (in gif::Distance units: 3 dR^2 + 4 dG^2 + 2 dB^2) a table colour
// may stand in for another in photo-like frames: about 5 levels per channel.
// Measured on recorded screen sequences, this saves 15-25 % of the bytes of
// photo areas while SSIM stays at or above ffmpeg's two-pass palette.
constexpr std::int64_t kStandInDistance = 300;

// A FIFO that blocks producers while full and consumers while empty. Close()
// wakes everybody; a closed queue still hands out what it holds.
template <typename T>
class BoundedQueue {
 public:
  BoundedQueue(std::size_t max_items, std::size_t max_weight)
      : max_items_(max_items), max_weight_(max_weight) {}

  // False when the queue was closed.
  bool Push(T item, std::size_t weight) {
    std::unique_lock lock(mutex_);
    not_full_.wait(lock, [&] {
      return closed_ || items_.empty() ||
             (items_.size() < max_items_ && weight_ + weight <= max_weight_);
    });
    if (closed_) return false;
    items_.push_back({std::move(item), weight});
    weight_ += weight;
    not_empty_.notify_one();
    return true;
  }

  std::optional<T> Pop() {
    std::unique_lock lock(mutex_);
    not_empty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    Entry entry = std::move(items_.front());
    items_.pop_front();
    weight_ -= entry.weight;
    not_full_.notify_all();
    return std::move(entry.item);
  }

  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    not_empty_.notify_all();
    not_full_.notify_all();
  }

 private:
  struct Entry {
    T item;
    std::size_t weight;
  };
  std::mutex mutex_;  // guards everything below
  std::condition_variable not_full_;
  std::condition_variable not_empty_;
  std::deque<Entry> items_;
  std::size_t weight_ = 0;
  std::size_t max_items_;
  std::size_t max_weight_;
  bool closed_ = false;
};

// Byte buffers handed back by the frame thread, so AddFrame rarely allocates.
class BufferPool {
 public:
  std::vector<std::uint8_t> Take() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return {};
    std::vector<std::uint8_t> b = std::move(free_.back());
    free_.pop_back();
    return b;
  }
  void Give(std::vector<std::uint8_t> b) {
    std::lock_guard lock(mutex_);
    if (free_.size() < kMaxQueuedFrames + 2) free_.push_back(std::move(b));
  }

 private:
  std::mutex mutex_;  // guards free_
  std::vector<std::vector<std::uint8_t>> free_;
};

struct RawFrame {
  std::vector<std::uint8_t> bytes;
  std::uint16_t delay = 0;
  std::optional<std::chrono::steady_clock::time_point> time;
  std::uint16_t info_width = 0;  // the animation record's size when the frame came
  std::uint16_t info_height = 0;
  bool finish = false;  // no more frames: end the file
};

// One frame ready for LZW: a rectangle of the logical screen with its table.
struct IndexedFrame {
  std::uint16_t screen_width = 0;  // set on the first frame only: write the header
  std::uint16_t screen_height = 0;
  std::uint16_t left = 0, top = 0, width = 0, height = 0;
  std::uint16_t delay = kMinDelay;
  int transparent = -1;
  int bits = 2;                        // table of 1 << bits entries
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint8_t> indices;
  std::unique_ptr<gif::Alternatives> alternatives;  // quantised frames only
  // Large frames: the first head_count indices already compressed by the
  // frame thread, so that both threads share the LZW work.
  std::size_t head_count = 0;
  gif::LzwBits head;
  bool finish = false;
};

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

int BitsFor(std::size_t entries) {
  int bits = 2;
  while ((std::size_t{1} << bits) < entries) ++bits;
  return bits;
}

std::string RandomName() {
  std::random_device rd;
  const std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = ".orvamy-";
  for (int i = 0; i < 12; ++i) name += kDigits[(v >> (4 * i)) & 15];
  return name + ".gif.part";
}

}  // namespace

struct GifEncoder::Impl {
  explicit Impl(AnimationInfo& animation, const BeginOptions& options)
      : info(animation),
        raw_queue(kMaxQueuedFrames, kMaxQueuedBytes),
        indexed_queue(3, kMaxQueuedBytes / 2) {
    const bool beside_target =
        !options.work_directory.empty() && OpenTemporary(options.work_directory);
    if (!beside_target) {
      // Saving will then copy instead of rename.
      std::error_code ec;
      const fs::path system_temp = fs::temp_directory_path(ec);
      if (ec || !OpenTemporary(system_temp)) failed = true;
    }
    frame_thread = std::thread([this] { Guarded([this] { FrameLoop(); }); });
    writer_thread = std::thread([this] { Guarded([this] { WriterLoop(); }); });
  }

  ~Impl() {
    StopWorkers();
    file.close();
    if (!temp_path.empty()) {
      std::error_code ec;
      fs::remove(temp_path, ec);
    }
  }

  template <typename F>
  void Guarded(F body) {
    try {
      body();
    } catch (const std::exception& e) {
      SetError(e.what());
      raw_queue.Close();
      indexed_queue.Close();
    } catch (...) {
      SetError("the encoder stopped");
      raw_queue.Close();
      indexed_queue.Close();
    }
  }

  void SetError(const std::string& message) {
    std::lock_guard lock(error_mutex);
    if (error.empty()) error = message;
    failed_writer = true;
  }

  void StopWorkers() {
    raw_queue.Close();
    indexed_queue.Close();
    if (frame_thread.joinable()) frame_thread.join();
    if (writer_thread.joinable()) writer_thread.join();
  }

  // ---- the temporary file (writer thread, then Save once the workers ended) ----

  bool OpenTemporary(const fs::path& directory) {
    for (int attempt = 0; attempt < 4; ++attempt) {
      const fs::path path = directory / RandomName();
      std::error_code ec;
      if (fs::exists(path, ec)) continue;
      std::ofstream f(path, std::ios::binary | std::ios::trunc);
      if (!f) return false;
      file = std::move(f);
      temp_path = path;
      good_bytes = 0;
      return true;
    }
    return false;
  }

  // Appends and flushes. When the disk refuses (full, gone), the bytes written
  // so far move to a new file in the system's temporary folder and the chunk is
  // written there instead; only when that fails too is the animation lost.
  bool Append(const std::vector<std::uint8_t>& bytes) {
    if (failed) return false;
    if (WriteAll(bytes)) return true;
    std::error_code ec;
    const fs::path system_temp = fs::temp_directory_path(ec);
    if (!ec && temp_path.parent_path() != system_temp && MoveToSystemTemp(system_temp) &&
        WriteAll(bytes)) {
      return true;
    }
    failed = true;
    return false;
  }

  bool WriteAll(const std::vector<std::uint8_t>& bytes) {
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.flush();
    if (!file) return false;
    good_bytes += bytes.size();
    return true;
  }

  bool MoveToSystemTemp(const fs::path& system_temp) {
    file.close();
    const fs::path old_path = temp_path;
    const std::uint64_t keep = good_bytes;
    if (!OpenTemporary(system_temp)) {
      temp_path = old_path;
      return false;
    }
    std::ifstream in(old_path, std::ios::binary);
    std::vector<char> chunk(1 << 16);
    std::uint64_t left = keep;
    while (left > 0 && in) {
      const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, chunk.size()));
      in.read(chunk.data(), n);
      if (in.gcount() != n) break;
      file.write(chunk.data(), n);
      left -= static_cast<std::uint64_t>(n);
    }
    in.close();
    std::error_code ec;
    fs::remove(old_path, ec);
    file.flush();
    if (left != 0 || !file) return false;
    good_bytes = keep;
    return true;
  }

  // ---- frame thread ----

  void FrameLoop() {
    while (auto raw = raw_queue.Pop()) {
      // Woken by AddFrame, possibly on the recorder's own core: let the
      // recorder return first, it has a frame deadline to keep.
      std::this_thread::yield();
      if (raw->finish) {
        FinishTimeline();
        IndexedFrame end;
        end.finish = true;
        indexed_queue.Push(std::move(end), 0);
        return;
      }
      TakeFrame(*raw);
      raw->bytes.clear();
      pool.Give(std::move(raw->bytes));
    }
  }

  void TakeFrame(const RawFrame& raw) {
    // The timeline in microseconds: a frame starts where the previous one
    // ended; that one lasted its nominal delay, or, below 2 hundredths, as
    // long as the capture times say.
    if (frames_seen > 0) {
      std::int64_t last = 2 * kMicrosPerHundredth;
      if (last_delay >= kMinDelay) {
        last = last_delay * kMicrosPerHundredth;
      } else if (last_time && raw.time) {
        last = std::max<std::int64_t>(
            0, std::chrono::duration_cast<std::chrono::microseconds>(*raw.time - *last_time)
                   .count());
        timed_total += last;
        ++timed_count;
      }
      position += last;
    }
    ++frames_seen;
    last_delay = raw.delay;
    last_time = raw.time;

    std::optional<Picture> picture;
    if (!raw.bytes.empty()) picture = DecodeBmp(raw.bytes);
    if (!picture) return;  // the frame shown now simply stays longer

    if (screen_w == 0) {
      const bool info_fits = raw.info_width != 0 && raw.info_height != 0 &&
                             raw.info_width == std::min(picture->width, 65535) &&
                             raw.info_height == std::min(picture->height, 65535);
      screen_w = info_fits ? raw.info_width : static_cast<std::uint16_t>(std::min(picture->width, 65535));
      screen_h = info_fits ? raw.info_height : static_cast<std::uint16_t>(std::min(picture->height, 65535));
      const std::size_t n = static_cast<std::size_t>(screen_w) * screen_h;
      incoming.assign(n, 0xC0C0C0);
      candidate.assign(n, 0);
      previous.assign(n, 0);
    }
    Fit(*picture);

    const std::int64_t start = Hundredths(position);
    if (has_candidate) {
      if (incoming == candidate) return;  // identical: the shown frame lasts longer
      if (start - candidate_start < kMinDelay) {
        // Too soon to show on its own: the newer picture takes the place of
        // the one not yet written.
        std::swap(candidate, incoming);
        return;
      }
      Emit(start - candidate_start);
    }
    std::swap(candidate, incoming);
    has_candidate = true;
    candidate_start = has_previous ? start : 0;  // time before the first picture goes to it
  }

  static std::int64_t Hundredths(std::int64_t micros) {
    return (micros + kMicrosPerHundredth / 2) / kMicrosPerHundredth;
  }

  void FinishTimeline() {
    if (!has_candidate) return;
    std::int64_t last = 2 * kMicrosPerHundredth;
    if (last_delay >= kMinDelay) {
      last = last_delay * kMicrosPerHundredth;
    } else if (timed_count > 0) {
      last = timed_total / timed_count;
    }
    Emit(std::max<std::int64_t>(kMinDelay, Hundredths(position + last) - candidate_start));
    has_candidate = false;
  }

  // Copies the picture onto `incoming`: cropped to the screen, or at its top
  // left over the latest content when it is smaller.
  void Fit(const Picture& p) {
    const std::size_t w = screen_w, h = screen_h;
    const auto pw = static_cast<std::size_t>(p.width), ph = static_cast<std::size_t>(p.height);
    if (pw < w || ph < h) {
      const auto& base = has_candidate ? candidate : previous;
      std::copy(base.begin(), base.end(), incoming.begin());
    }
    const std::size_t cw = std::min(w, pw), ch = std::min(h, ph);
    for (std::size_t y = 0; y < ch; ++y) {
      std::memcpy(incoming.data() + y * w, p.pixels.data() + y * pw, cw * sizeof(std::uint32_t));
    }
  }

  // Encodes `candidate` against `previous` and sends it to the writer.
  void Emit(std::int64_t delay) {
    const std::size_t w = screen_w, h = screen_h;
    std::size_t x0 = 0, y0 = 0, x1 = w, y1 = h;
    if (has_previous) {
      x0 = w, y0 = h, x1 = 0, y1 = 0;
      for (std::size_t y = 0; y < h; ++y) {
        const std::uint32_t* a = candidate.data() + y * w;
        const std::uint32_t* b = previous.data() + y * w;
        if (std::memcmp(a, b, w * sizeof(std::uint32_t)) == 0) continue;
        std::size_t l = 0, r = w;
        while (a[l] == b[l]) ++l;
        while (a[r - 1] == b[r - 1]) --r;
        x0 = std::min(x0, l);
        x1 = std::max(x1, r);
        y0 = std::min(y0, y);
        y1 = y + 1;
      }
    }
    IndexedFrame frame;
    if (first_frame) {
      frame.screen_width = screen_w;
      frame.screen_height = screen_h;
      first_frame = false;
    }
    if (x1 <= x0) {
      // Nothing changed after all (a replaced picture came back to what is
      // shown): one transparent pixel carries the time.
      MakeFiller(frame);
    } else {
      BuildIndices(frame, x0, y0, x1 - x0, y1 - y0);
    }
    std::swap(previous, candidate);
    has_previous = true;
    if (frame.indices.size() >= kSplitPixels) {
      frame.head_count = frame.indices.size() * kHeadShare / 100;
      gif::EncodeLzw(std::span<const std::uint8_t>(frame.indices).first(frame.head_count),
                     frame.bits, gif::LzwPart::kHead, frame.alternatives.get(), frame.head);
    }
    SendWithDelay(std::move(frame), delay);
  }

  static void MakeFiller(IndexedFrame& frame) {
    frame.left = frame.top = 0;
    frame.width = frame.height = 1;
    frame.palette.assign(4, 0);
    frame.transparent = 0;
    frame.bits = 2;
    frame.indices.assign(1, 0);
  }

  void SendWithDelay(IndexedFrame frame, std::int64_t delay) {
    delay = std::max<std::int64_t>(delay, kMinDelay);
    // A delay beyond the 16-bit field continues on transparent filler frames.
    while (delay > static_cast<std::int64_t>(kMaxDelay)) {
      frame.delay = 65000;
      delay -= 65000;
      Send(std::move(frame));
      frame = IndexedFrame{};
      MakeFiller(frame);
    }
    frame.delay = static_cast<std::uint16_t>(delay);
    Send(std::move(frame));
  }

  void Send(IndexedFrame frame) {
    const std::size_t weight = frame.indices.size();
    indexed_queue.Push(std::move(frame), weight);
  }

  void BuildIndices(IndexedFrame& frame, std::size_t x0, std::size_t y0, std::size_t rw,
                    std::size_t rh) {
    frame.left = static_cast<std::uint16_t>(x0);
    frame.top = static_cast<std::uint16_t>(y0);
    frame.width = static_cast<std::uint16_t>(rw);
    frame.height = static_cast<std::uint16_t>(rh);
    const std::size_t n = rw * rh;
    const std::size_t w = screen_w;
    rect.resize(n);
    changed.assign(has_previous ? n : 0, 1);
    std::size_t transitions_opaque = 0, transitions_clear = 0;
    for (std::size_t y = 0; y < rh; ++y) {
      const std::uint32_t* src = candidate.data() + (y0 + y) * w + x0;
      std::memcpy(rect.data() + y * rw, src, rw * sizeof(std::uint32_t));
      if (has_previous) {
        const std::uint32_t* old = previous.data() + (y0 + y) * w + x0;
        for (std::size_t x = 0; x < rw; ++x) changed[y * rw + x] = src[x] != old[x];
      }
    }
    if (has_previous) {
      // Runs decide what LZW makes of a stream: count where the value changes
      // with and without transparency.
      std::uint32_t last_opaque = rect[0];
      std::uint64_t last_clear = changed[0] ? rect[0] : 0x1000000u;
      for (std::size_t i = 1; i < n; ++i) {
        transitions_opaque += rect[i] != last_opaque;
        last_opaque = rect[i];
        const std::uint64_t v = changed[i] ? rect[i] : 0x1000000u;
        transitions_clear += v != last_clear;
        last_clear = v;
      }
    }

    frame.indices.resize(n);
    // Exact colours, all of the rectangle, opaque.
    const bool prefer_opaque = !has_previous || transitions_opaque < transitions_clear;
    if (prefer_opaque && CountExact(false, 256)) {
      WriteExact(frame, false);
      return;
    }
    if (has_previous && CountExact(true, 255)) {
      WriteExact(frame, true);
      return;
    }
    if (!prefer_opaque && CountExact(false, 256)) {
      WriteExact(frame, false);
      return;
    }
    // Too many colours: a quantised table for the changed pixels, the rest
    // transparent so that unchanged areas keep exactly what is shown.
    quantiser.Prepare(rect, changed, 255);
    frame.palette = quantiser.palette();
    const bool clear = has_previous;
    if (clear) {
      frame.transparent = static_cast<int>(frame.palette.size());
      frame.palette.push_back(0);
    }
    frame.bits = BitsFor(frame.palette.size());
    frame.palette.resize(std::size_t{1} << frame.bits, 0);
    const auto t = static_cast<std::uint8_t>(std::max(frame.transparent, 0));
    for (std::size_t i = 0; i < n; ++i) {
      frame.indices[i] = (clear && !changed[i]) ? t : quantiser.Map(rect[i]);
    }
    frame.alternatives = StandIns(quantiser.palette());
  }

  // For each colour of a quantised table, the nearby colours that LZW may use
  // in its place. The transparent index neither stands in nor is replaced.
  static std::unique_ptr<gif::Alternatives> StandIns(const std::vector<std::uint32_t>& palette) {
    auto table = std::make_unique<gif::Alternatives>();
    std::memset(table->of, 0xFF, sizeof(table->of));
    const std::size_t n = std::min<std::size_t>(palette.size(), 255);
    std::vector<std::pair<std::int64_t, std::uint8_t>> near;
    for (std::size_t i = 0; i < n; ++i) {
      near.clear();
      for (std::size_t j = 0; j < n; ++j) {
        if (j == i) continue;
        const std::int64_t d = gif::Distance(palette[i], palette[j]);
        if (d <= kStandInDistance) near.emplace_back(d, static_cast<std::uint8_t>(j));
      }
      std::sort(near.begin(), near.end());
      for (std::size_t k = 0; k < near.size() && k < gif::kMaxAlternatives; ++k) {
        table->of[i][k] = near[k].second;
      }
    }
    return table;
  }

  bool CountExact(bool changed_only, int limit) {
    colours.Clear();
    std::uint32_t last = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < rect.size(); ++i) {
      if (changed_only && !changed[i]) continue;
      if (rect[i] == last) continue;
      last = rect[i];
      if (!colours.Add(last, limit)) return false;
    }
    return true;
  }

  void WriteExact(IndexedFrame& frame, bool clear) {
    frame.palette = colours.colours();
    if (clear) {
      frame.transparent = static_cast<int>(frame.palette.size());
      frame.palette.push_back(0);
    }
    frame.bits = BitsFor(frame.palette.size());
    frame.palette.resize(std::size_t{1} << frame.bits, 0);
    const auto t = static_cast<std::uint8_t>(std::max(frame.transparent, 0));
    std::uint32_t last = 0xFFFFFFFFu;
    std::uint8_t last_index = 0;
    for (std::size_t i = 0; i < rect.size(); ++i) {
      if (clear && !changed[i]) {
        frame.indices[i] = t;
        continue;
      }
      if (rect[i] != last) {
        last = rect[i];
        last_index = colours.IndexOf(last);
      }
      frame.indices[i] = last_index;
    }
  }

  // ---- writer thread ----

  void WriterLoop() {
    std::vector<std::uint8_t> out;
    gif::LzwBits tail;
    while (auto frame = indexed_queue.Pop()) {
      out.clear();
      if (frame->finish) {
        if (wrote_header) {
          out.push_back(0x3B);
          Append(out);
          file.close();
          if (!file) failed = true;
        }
        finished_ok = wrote_header && !failed;
        return;
      }
      if (frame->screen_width != 0) {
        // Byte by byte: GCC 12 misreads range inserts into a cleared vector
        // as overflows (-Wstringop-overflow).
        for (const char c : std::string_view("GIF89a")) out.push_back(static_cast<std::uint8_t>(c));
        Put16(out, frame->screen_width);
        Put16(out, frame->screen_height);
        for (const int b : {0x70, 0, 0}) out.push_back(static_cast<std::uint8_t>(b));  // no global table
        static constexpr std::uint8_t kLoop[] = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                                 'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
        for (const std::uint8_t b : kLoop) out.push_back(b);
        wrote_header = true;
      }
      const bool clear = frame->transparent >= 0;
      for (const int b : {0x21, 0xF9, 4}) out.push_back(static_cast<std::uint8_t>(b));
      out.push_back(static_cast<std::uint8_t>(0x04 | (clear ? 1 : 0)));
      Put16(out, frame->delay);
      out.push_back(static_cast<std::uint8_t>(clear ? frame->transparent : 0));
      out.push_back(0);
      out.push_back(0x2C);
      Put16(out, frame->left);
      Put16(out, frame->top);
      Put16(out, frame->width);
      Put16(out, frame->height);
      out.push_back(static_cast<std::uint8_t>(0x80 | (frame->bits - 1)));
      for (std::uint32_t c : frame->palette) {
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c));
      }
      if (frame->head_count > 0) {
        gif::EncodeLzw(std::span<const std::uint8_t>(frame->indices).subspan(frame->head_count),
                       frame->bits, gif::LzwPart::kTail, frame->alternatives.get(), tail);
        gif::AppendImageData(frame->bits, frame->head, &tail, out);
      } else {
        gif::AppendLzwImageData(frame->indices, frame->bits, out, frame->alternatives.get());
      }
      Append(out);  // a failure is sticky and reported by Save
    }
  }

  // ---- saving (recorder thread, workers ended) ----

  SaveResult Place(std::string_view path) {
    SaveResult result;
    const fs::path requested{std::string(path)};
    const fs::path stem = requested.stem();
    const fs::path extension = requested.extension();
    for (int n = 1; n < 10000; ++n) {
      fs::path target = requested;
      if (n > 1) {
        target = requested.parent_path() /
                 (stem.string() + "-" + std::to_string(n) + extension.string());
      }
      std::error_code ec;
      if (fs::exists(target, ec) || fs::is_symlink(target, ec)) continue;
      // A hard link never replaces an existing file; then the temporary name goes.
      fs::create_hard_link(temp_path, target, ec);
      if (!ec) {
        fs::remove(temp_path, ec);
        return Saved(result, target);
      }
      if (ec == std::errc::file_exists) continue;
      ec.clear();
      fs::rename(temp_path, target, ec);
      if (!ec) return Saved(result, target);
      // Another disk: copy, and on any failure take the partial copy away.
      ec.clear();
      if (fs::copy_file(temp_path, target, fs::copy_options::none, ec) && !ec) {
        fs::remove(temp_path, ec);
        return Saved(result, target);
      }
      if (ec == std::errc::file_exists) continue;
      std::error_code ignored;
      fs::remove(target, ignored);
      result.error = ec.message();
      return result;
    }
    result.error = "no free file name";
    return result;
  }

  SaveResult Saved(SaveResult& result, const fs::path& target) {
    temp_path.clear();
    result.saved = true;
    result.written_path = target.string();
    return result;
  }

  AnimationInfo& info;
  BufferPool pool;
  BoundedQueue<RawFrame> raw_queue;
  BoundedQueue<IndexedFrame> indexed_queue;

  // Temporary file: opened by the constructor, then used by the writer thread
  // only, then by Save after the workers have been joined.
  std::ofstream file;
  fs::path temp_path;
  std::uint64_t good_bytes = 0;
  bool failed = false;
  bool wrote_header = false;
  bool finished_ok = false;

  std::mutex error_mutex;  // guards error, failed_writer
  std::string error;
  bool failed_writer = false;

  // Frame thread state.
  std::uint16_t screen_w = 0, screen_h = 0;
  std::vector<std::uint32_t> incoming, candidate, previous, rect;
  std::vector<std::uint8_t> changed;
  bool has_candidate = false, has_previous = false, first_frame = true;
  std::int64_t candidate_start = 0;
  std::int64_t position = 0;  // microseconds since the first frame
  std::int64_t timed_total = 0, timed_count = 0;
  std::int64_t frames_seen = 0;
  std::uint16_t last_delay = 0;
  std::optional<std::chrono::steady_clock::time_point> last_time;
  gif::ExactColours colours;
  gif::Quantiser quantiser;

  // Recorder thread state.
  bool drained = false;

  std::thread frame_thread;
  std::thread writer_thread;
};

GifEncoder::GifEncoder(AnimationInfo& info, const BeginOptions& options)
    : impl_(std::make_unique<Impl>(info, options)) {}

GifEncoder::~GifEncoder() = default;

void GifEncoder::Add(std::uint16_t delay, std::span<const std::uint8_t> picture,
                     std::optional<FrameTiming> timing) {
  if (impl_->drained) return;  // saved already: nothing more goes in
  RawFrame raw;
  raw.bytes = impl_->pool.Take();
  try {
    raw.bytes.assign(picture.begin(), picture.end());
  } catch (const std::bad_alloc&) {
    raw.bytes.clear();  // counted as an empty picture
  }
  raw.delay = delay;
  if (timing) raw.time = timing->capture_time;
  raw.info_width = impl_->info.width;
  raw.info_height = impl_->info.height;
  const std::size_t weight = raw.bytes.size();
  impl_->raw_queue.Push(std::move(raw), weight);
}

SaveResult GifEncoder::Save(std::string_view path) {
  Impl& m = *impl_;
  if (!m.drained) {
    RawFrame end;
    end.finish = true;
    m.raw_queue.Push(std::move(end), 0);
    // Both workers end by themselves once the last frame is written.
    if (m.frame_thread.joinable()) m.frame_thread.join();
    if (m.writer_thread.joinable()) m.writer_thread.join();
    m.drained = true;
  }
  SaveResult result;
  {
    std::lock_guard lock(m.error_mutex);
    if (!m.error.empty()) {
      result.error = m.error;
      return result;
    }
  }
  if (m.temp_path.empty() || m.failed) {
    result.error = "the frames could not be stored on disk";
    return result;
  }
  if (!m.wrote_header) {
    result.error = "no picture was recorded";
    return result;
  }
  if (!m.finished_ok) {
    result.error = "the frames could not be stored on disk";
    return result;
  }
  return m.Place(path);
}

}  // namespace orvamy
