#include "output/gif/gif_timeline.h"

#include <algorithm>

#include "output/gif/gif_frame.h"

namespace orvamy::gif {
namespace {

constexpr std::int64_t kMicrosPerHundredth = 10000;

// Never negative: a clock that went back gives the frame no time.
std::int64_t MicrosBetween(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
  return std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(to - from).count());
}

}  // namespace

void FrameTimeline::Arrive(const FrameClock& clock) {
  // A frame starts where the previous one ended: as long after it as the
  // capture times say, or after its nominal delay.
  if (frames_seen_ > 0) {
    std::int64_t last = 2 * kMicrosPerHundredth;
    if (last_.captured && clock.captured) {
      last = MicrosBetween(*last_.captured, *clock.captured);
      timed_total_ += last;
      ++timed_count_;
    } else if (last_.delay >= kMinDelay) {
      last = last_.delay * kMicrosPerHundredth;
    }
    position_ += last;
  }
  ++frames_seen_;
  last_ = clock;
}

FrameTimeline::Step FrameTimeline::Place(bool same_as_pending, std::int64_t& finished_delay) {
  const std::int64_t start = Hundredths(position_);
  Step step = Step::kFirst;
  if (has_pending_) {
    if (same_as_pending) return Step::kMerge;
    if (start - pending_start_ < kMinDelay) return Step::kReplace;
    finished_delay = start - pending_start_;
    emitted_any_ = true;
    step = Step::kEmit;
  }
  has_pending_ = true;
  pending_start_ = emitted_any_ ? start : 0;  // time before the first picture goes to it
  return step;
}

std::optional<std::int64_t> FrameTimeline::Finish() {
  if (!has_pending_) return std::nullopt;
  has_pending_ = false;
  emitted_any_ = true;
  return std::max<std::int64_t>(kMinDelay,
                                Hundredths(position_ + LastFrameMicros()) - pending_start_);
}

// The last frame has no successor to end it: it lasts until the stop time
// when one was given; else, for a timed frame, the interval it was paced at;
// else its delay, or below 2 hundredths the average of the timed frames.
// A timed frame's whole-hundredth delay is never used: it truncates the
// interval (30/s: 3 for 3.33), and cumulative rounding of the exact interval
// spreads the remainder instead (3/3/4).
std::int64_t FrameTimeline::LastFrameMicros() const {
  if (stop_ && last_.captured) return MicrosBetween(*last_.captured, *stop_);
  if (last_.captured && last_.nominal_micros > 0) return last_.nominal_micros;
  if (last_.delay >= kMinDelay) return last_.delay * kMicrosPerHundredth;
  if (timed_count_ > 0) return timed_total_ / timed_count_;
  return 2 * kMicrosPerHundredth;
}

std::int64_t FrameTimeline::Hundredths(std::int64_t micros) {
  return (micros + kMicrosPerHundredth / 2) / kMicrosPerHundredth;
}

}  // namespace orvamy::gif
