#include "output/gif/gif_encoder.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/bmp.h"
#include "output/gif/gif_frame.h"
#include "output/gif/gif_frame_diff.h"
#include "output/gif/gif_indexer.h"
#include "output/gif/gif_lzw.h"
#include "output/gif/gif_queue.h"
#include "output/gif/gif_spool.h"
#include "output/gif/gif_syntax.h"
#include "output/gif/gif_timeline.h"

namespace orvamy {
namespace {

using gif::IndexedFrame;

constexpr std::uint32_t kMaxDelay = 65535;  // the field is 16 bits
// Pictures waiting for the frame thread: at full HD (8 MB each) as many as
// fit, up to kMaxQueuedFrames; the recorder waits beyond that.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
// Indexed frames waiting for the writer (one byte per pixel).
constexpr std::size_t kMaxQueuedIndexBytes = 24u << 20;
constexpr std::size_t kMaxQueuedFrames = 8;
// From this many pixels on, the frame thread compresses the first kHeadShare %
// of a frame itself while the writer compresses the rest; the writer also
// writes the file, so it takes the larger share.
constexpr std::size_t kSplitPixels = 120000;
constexpr std::size_t kHeadShare = 40;
// The most error (gif::Distance units: 3 dR^2 + 4 dG^2 + 2 dB^2) any pixel
// may show where its neighbourhood has strong contrast: about 5 levels per
// channel. Flat and smooth areas get none (see AllowedError).
constexpr std::uint32_t kMaxPixelError = 300;

struct RawFrame {
  Picture picture;  // no pixels: the frame only lengthens the one before
  gif::FrameClock clock;
  std::uint16_t info_width = 0;  // the animation record's size when the frame came
  std::uint16_t info_height = 0;
  // Not a frame: the recording stopped at this time (MarkAnimationEnd).
  std::optional<std::chrono::steady_clock::time_point> stop;
  bool finish = false;  // no more frames: end the file
};

// What the stages share: the queues between them, the pools that hand memory
// back, and the first error any of them met.
struct Pipeline {
  gif::BoundedQueue<RawFrame> raw{kMaxQueuedFrames, kMaxQueuedBytes};
  gif::BoundedQueue<IndexedFrame> indexed{3, kMaxQueuedIndexBytes};
  // Written frames back to the frame thread, which takes in what they show.
  gif::BoundedQueue<IndexedFrame> done{2, SIZE_MAX};
  gif::RecyclePool<Picture> pictures{kMaxQueuedFrames + 2};

  // Thread-safe. Keeps the first message and stops the whole pipeline.
  void Fail(const std::string& message) {
    {
      std::lock_guard lock(error_mutex);
      if (error.empty()) error = message;
    }
    Close();
  }
  // Thread-safe.
  std::string Error() {
    std::lock_guard lock(error_mutex);
    return error;
  }
  // Thread-safe.
  void Close() {
    raw.Close();
    indexed.Close();
    done.Close();
  }

  std::mutex error_mutex;  // guards error
  std::string error;
};

// Runs `body` on a thread of its own; an exception stops the pipeline with a
// message instead of ending the program. The thread ends by itself once its
// input queue is closed and empty; the destructor waits for it.
class StageThread {
 public:
  template <typename F>
  StageThread(Pipeline& pipeline, F body)
      : thread_([&pipeline, body] {
          try {
            body();
          } catch (const std::exception& e) {
            pipeline.Fail(e.what());
          } catch (...) {
            pipeline.Fail("the encoder stopped");
          }
        }) {}
  ~StageThread() { Join(); }
  StageThread(const StageThread&) = delete;
  StageThread& operator=(const StageThread&) = delete;
  // Called by the owner's thread only.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

// The frame thread: fits each picture onto the logical screen, places it
// on the timeline, and turns each finished picture into an indexed frame for
// the writer (compressing the head of large ones itself).
class FrameStage {
 public:
  FrameStage(Pipeline& pipeline, bool lossless)
      : pipeline_(pipeline),
        indexer_(lossless),
        ceiling_(lossless ? 0 : kMaxPixelError),
        thread_(pipeline, [this] { Run(); }) {}
  // Called on the recorder thread only.
  void Join() { thread_.Join(); }

 private:
  void Run() {
    while (auto raw = pipeline_.raw.Pop()) {
      // Woken by AddFrame, possibly on the recorder's own core: let the
      // recorder return first, it has a frame deadline to keep.
      std::this_thread::yield();
      if (raw->finish) {
        if (const auto delay = timeline_.Finish()) Emit(*delay);
        IndexedFrame end;
        end.finish = true;
        pipeline_.indexed.Push(std::move(end), 0);
        return;
      }
      if (raw->stop) {
        timeline_.MarkEnd(*raw->stop);
        continue;
      }
      Take(*raw);
      // Whatever memory the frame holds now (its own, or the picture it was
      // swapped with) goes back for the recorder's next copy.
      pipeline_.pictures.Give(std::move(raw->picture));
    }
  }

  void Take(RawFrame& raw) {
    timeline_.Arrive(raw.clock);
    Picture& picture = raw.picture;
    if (picture.width < 1 || picture.height < 1) return;  // the frame shown now stays longer

    if (screen_w_ == 0) SetScreen(raw);
    Fit(picture);
    std::int64_t finished_delay = 0;
    const bool same = timeline_.HasPending() && incoming_ == pending_;
    switch (timeline_.Place(same, finished_delay)) {
      case gif::FrameTimeline::Step::kMerge:
        return;
      case gif::FrameTimeline::Step::kReplace:
        std::swap(pending_, incoming_);
        return;
      case gif::FrameTimeline::Step::kEmit:
        Emit(finished_delay);
        break;
      case gif::FrameTimeline::Step::kFirst:
        break;
    }
    std::swap(pending_, incoming_);
    has_pending_ = true;
  }

  // The logical screen: the animation record's size when it matches the
  // first picture (up to 16 bits), else the picture's.
  void SetScreen(const RawFrame& raw) {
    const Picture& p = raw.picture;
    const bool info_fits = raw.info_width != 0 && raw.info_height != 0 &&
                           raw.info_width == std::min(p.width, 65535) &&
                           raw.info_height == std::min(p.height, 65535);
    screen_w_ = info_fits ? raw.info_width : static_cast<std::uint16_t>(std::min(p.width, 65535));
    screen_h_ = info_fits ? raw.info_height : static_cast<std::uint16_t>(std::min(p.height, 65535));
    const std::size_t n = static_cast<std::size_t>(screen_w_) * screen_h_;
    incoming_.assign(n, 0xC0C0C0);
    pending_.assign(n, 0);
    emitted_.assign(n, 0);
    display_.Reset(screen_w_, screen_h_);
  }

  // Makes the picture incoming_: cropped to the screen, or at its top left
  // over the latest content when it is smaller. A picture of the screen's
  // size (every frame of a recording) is taken over whole, not copied: the
  // old incoming_ memory leaves in `p` instead.
  void Fit(Picture& p) {
    const std::size_t w = screen_w_, h = screen_h_;
    const auto pw = static_cast<std::size_t>(p.width), ph = static_cast<std::size_t>(p.height);
    if (pw == w && ph == h) {
      std::swap(incoming_, p.pixels);
      return;
    }
    if (pw < w || ph < h) {
      const auto& base = has_pending_ ? pending_ : emitted_;
      std::copy(base.begin(), base.end(), incoming_.begin());
    }
    const std::size_t cw = std::min(w, pw), ch = std::min(h, ph);
    for (std::size_t y = 0; y < ch; ++y) {
      const std::uint32_t* from = p.Row(static_cast<std::int32_t>(y));
      std::copy(from, from + cw, incoming_.data() + y * w);
    }
  }

  // Encodes the pending picture against what the viewer is shown and sends
  // it on.
  void Emit(std::int64_t delay) {
    AwaitShown();
    const std::size_t w = screen_w_, h = screen_h_;
    gif::ScreenRect r{0, 0, w, h};
    std::span<const std::uint8_t> stale;
    std::span<const std::uint32_t> bounds;
    std::span<const std::uint32_t> shown;
    if (has_shown_) {
      r = display_.MarkStale(pending_, emitted_, ceiling_);
      stale = display_.stale();
      bounds = display_.bounds();
      shown = display_.shown();
    }
    IndexedFrame frame = FreshFrame();
    if (first_frame_) {
      frame.screen_width = screen_w_;
      frame.screen_height = screen_h_;
      first_frame_ = false;
    }
    if (r.empty()) {
      // Nothing to show after all (a replaced picture came back to what is
      // shown): one transparent pixel carries the time.
      MakeFiller(frame);
    } else {
      indexer_.Build(pending_, w, h, stale, bounds, shown, r, ceiling_, frame);
    }
    std::swap(emitted_, pending_);
    has_shown_ = true;
    if (!frame.written.empty()) ++outstanding_;
    if (frame.indices.size() < kSplitPixels) {
      SendWithDelay(std::move(frame), delay);
      return;
    }
    // The writer compresses the tail while this thread compresses the head.
    // The vectors' memory stays put when the frame moves into the queue, and
    // the two threads write different parts of `written`.
    frame.head_count = frame.indices.size() * kHeadShare / 100;
    auto head = std::make_shared<gif::HeadPart>();
    frame.head = head;
    const auto choices = frame.Choices(0);
    const auto indices = std::span<const std::uint8_t>(frame.indices).first(frame.head_count);
    const int bits = frame.bits;
    struct FinishOnExit {
      gif::HeadPart& head;
      bool ok = false;
      ~FinishOnExit() { head.Finish(ok); }
    } finish{*head};
    SendWithDelay(std::move(frame), delay);
    gif::EncodeLzw(indices, bits, gif::LzwPart::kHead, choices ? &*choices : nullptr, head->bits);
    finish.ok = true;
  }

  // Waits for the writer to finish the frames sent, and takes in what they
  // show: the next picture is judged against that.
  void AwaitShown() {
    while (outstanding_ > 0) {
      auto done = pipeline_.done.Pop();
      if (!done) throw std::runtime_error("the encoder stopped");
      --outstanding_;
      display_.Apply(*done, emitted_);
      spare_ = std::move(*done);
    }
  }

  // An empty frame that keeps the memory of one written before.
  IndexedFrame FreshFrame() {
    IndexedFrame frame;
    if (spare_) {
      frame = std::move(*spare_);
      spare_.reset();
      frame.ClearKeepingMemory();
    }
    return frame;
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
    delay = std::max<std::int64_t>(delay, gif::kMinDelay);
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
    pipeline_.indexed.Push(std::move(frame), weight);
  }

  Pipeline& pipeline_;
  gif::FrameTimeline timeline_;
  gif::FrameIndexer indexer_;
  std::uint32_t ceiling_;
  std::uint16_t screen_w_ = 0, screen_h_ = 0;
  // incoming_: the picture being decoded; pending_: the latest picture, not
  // yet written; emitted_: the last picture sent to the writer.
  std::vector<std::uint32_t> incoming_, pending_, emitted_;
  gif::DisplayState display_;      // what the viewer sees once the frames taken in are drawn
  std::size_t outstanding_ = 0;    // frames sent whose display is not taken in yet
  std::optional<IndexedFrame> spare_;
  bool has_pending_ = false, has_shown_ = false, first_frame_ = true;
  StageThread thread_;  // last: starts once everything above is ready
};

// The writer thread: LZW-compresses each indexed frame and appends it, with
// the file's own blocks, to the spool file.
class WriterStage {
 public:
  WriterStage(Pipeline& pipeline, gif::SpoolFile& spool)
      : pipeline_(pipeline), spool_(spool), thread_(pipeline, [this] { Run(); }) {}
  // Called on the recorder thread only.
  void Join() { thread_.Join(); }
  // Called on the recorder thread only, after Join.
  bool wrote_header() const { return wrote_header_; }
  bool finished_ok() const { return finished_ok_; }

 private:
  void Run() {
    std::vector<std::uint8_t> out;
    gif::LzwBits tail;
    while (auto frame = pipeline_.indexed.Pop()) {
      out.clear();
      if (frame->finish) {
        if (wrote_header_) {
          gif::AppendTrailer(out);
          spool_.Append(out);
          spool_.Finish();
        }
        finished_ok_ = wrote_header_ && !spool_.failed();
        return;
      }
      if (frame->screen_width != 0) {
        const auto global = frame->global_table ? std::span<const std::uint32_t>(frame->palette)
                                                : std::span<const std::uint32_t>();
        gif::AppendHeader(frame->screen_width, frame->screen_height, global, out);
        wrote_header_ = true;
      }
      gif::AppendFrameStart(*frame, out);
      gif::AppendFrameData(*frame, tail, out);
      spool_.Append(out);  // a failure is sticky and reported by Save
      if (!frame->written.empty()) pipeline_.done.Push(std::move(*frame), 0);
    }
  }

  Pipeline& pipeline_;
  gif::SpoolFile& spool_;
  bool wrote_header_ = false;
  bool finished_ok_ = false;
  StageThread thread_;  // last: starts once everything above is ready
};

}  // namespace

struct GifEncoder::Impl {
  Impl(AnimationInfo& animation, const BeginOptions& options)
      : info(animation), spool(options.work_directory, options.spool_owner), frame_stage(pipeline, options.lossless) {}
  // Abandoning: the stages end once their queues are closed; the spool file
  // goes with `spool`, destroyed after them.
  ~Impl() { pipeline.Close(); }

  AnimationInfo& info;
  Pipeline pipeline;
  gif::SpoolFile spool;
  bool drained = false;  // recorder thread: Save has ended the stages
  FrameStage frame_stage;
  WriterStage writer_stage{pipeline, spool};
};

GifEncoder::GifEncoder(AnimationInfo& info, const BeginOptions& options)
    : impl_(std::make_unique<Impl>(info, options)) {}

GifEncoder::~GifEncoder() = default;

namespace {

// A frame to fill, with a pooled picture's memory when one is free.
RawFrame StartRawFrame(gif::RecyclePool<Picture>& pool, std::uint16_t delay,
                       const std::optional<FrameTiming>& timing, const AnimationInfo& info) {
  RawFrame raw;
  if (auto spare = pool.Take()) raw.picture = std::move(*spare);
  raw.clock.delay = delay;
  if (timing) {
    raw.clock.captured = timing->capture_time;
    raw.clock.nominal_micros = timing->nominal_interval.count();
  }
  raw.info_width = info.width;
  raw.info_height = info.height;
  return raw;
}

void PushRaw(Pipeline& pipeline, RawFrame raw) {
  const std::size_t weight = raw.picture.pixels.size() * sizeof(std::uint32_t);
  pipeline.raw.Push(std::move(raw), weight);
}

}  // namespace

void GifEncoder::Add(std::uint16_t delay, PixelView pixels, std::optional<FrameTiming> timing) {
  if (impl_->drained) return;  // saved already: nothing more goes in
  RawFrame raw = StartRawFrame(impl_->pipeline.pictures, delay, timing, impl_->info);
  // The one copy of the frame's pixels: from here the frame thread owns them.
  // A picture that cannot be held is counted as an empty one.
  CopyPixels(pixels, raw.picture);
  PushRaw(impl_->pipeline, std::move(raw));
}

void GifEncoder::AddBmp(std::uint16_t delay, std::span<const std::uint8_t> picture,
                        std::optional<FrameTiming> timing) {
  if (impl_->drained) return;
  RawFrame raw = StartRawFrame(impl_->pipeline.pictures, delay, timing, impl_->info);
  // Undecodable bytes leave the picture empty: counted like an empty picture.
  DecodeBmpInto(picture, raw.picture);
  PushRaw(impl_->pipeline, std::move(raw));
}

void GifEncoder::MarkEnd(std::chrono::steady_clock::time_point stop_time) {
  if (impl_->drained) return;
  RawFrame mark;
  mark.stop = stop_time;
  impl_->pipeline.raw.Push(std::move(mark), 0);
}

SaveResult GifEncoder::Save(std::string_view path) {
  Impl& m = *impl_;
  if (!m.drained) {
    RawFrame end;
    end.finish = true;
    m.pipeline.raw.Push(std::move(end), 0);
    // Both stages end by themselves once the last frame is written.
    m.frame_stage.Join();
    m.writer_stage.Join();
    m.drained = true;
  }
  SaveResult result;
  result.error = m.pipeline.Error();
  if (!result.error.empty()) return result;
  if (m.spool.failed()) {
    result.error = "the frames could not be stored on disk";
    return result;
  }
  if (!m.writer_stage.wrote_header()) {
    result.error = "no picture was recorded";
    return result;
  }
  if (!m.writer_stage.finished_ok()) {
    result.error = "the frames could not be stored on disk";
    return result;
  }
  return m.spool.Place(path);
}

}  // namespace orvamy
