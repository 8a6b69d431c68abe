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
      last = NominalDuration(last_.delay, last_.nominal_micros);
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
// when one was given, else its nominal delay, or below 2 hundredths the
// average of the timed frames.
std::int64_t FrameTimeline::LastFrameMicros() const {
  if (stop_ && last_.captured) return MicrosBetween(*last_.captured, *stop_);
  if (last_.delay >= kMinDelay) return NominalDuration(last_.delay, last_.nominal_micros);
  if (timed_count_ > 0) return timed_total_ / timed_count_;
  return 2 * kMicrosPerHundredth;
}

// How long a frame with a delay of 2 or more lasts on the timeline. A rate
// such as 30/s has a whole-hundredth delay of 3 for a real 3.33 and would
// play 10% fast; where the frames were paced at an exact interval that this
// delay stands for, the timeline follows the interval and cumulative
// rounding spreads the remainder (3/3/4).
std::int64_t FrameTimeline::NominalDuration(std::uint16_t delay, std::int64_t nominal_micros) {
  const std::int64_t from_delay = delay * kMicrosPerHundredth;
  const bool stands_for_interval =
      nominal_micros > from_delay && nominal_micros - from_delay < kMicrosPerHundredth;
  return stands_for_interval ? nominal_micros : from_delay;
}

std::int64_t FrameTimeline::Hundredths(std::int64_t micros) {
  return (micros + kMicrosPerHundredth / 2) / kMicrosPerHundredth;
}

}  // namespace orvamy::gif
