#pragma once
// When each picture of an animation starts and how long it shows, in whole
// hundredths (the GIF's unit), decided from the frames' delays and capture
// times alone: no pixels, no threads.
//
// A frame lasts until the next frame's capture time; where either has no
// capture time, it lasts its nominal delay (below 2 hundredths: 2).
// Frames are added in order, with or without a picture. A frame without one
// lengthens the picture shown. A picture identical to the pending one merges
// into it; one that comes less than 2 hundredths after the pending picture
// started takes its place. Positions are kept in microseconds and rounded
// to hundredths only where a picture starts, so rounding never accumulates
// (30/s plays 3/3/4, not 3/3/3).

#include <chrono>
#include <cstdint>
#include <optional>

namespace orvamy::gif {

struct FrameClock {
  std::uint16_t delay = 0;  // the nominal delay in hundredths
  std::optional<std::chrono::steady_clock::time_point> captured;
  std::int64_t nominal_micros = 0;  // the exact pacing interval; 0: unknown
};

// Called on one thread only (the frame thread).
class FrameTimeline {
 public:
  enum class Step {
    kFirst,    // the first picture: it becomes the pending one
    kMerge,    // identical to the pending picture: dropped, the pending one lasts longer
    kReplace,  // too soon after the pending picture: it takes the pending one's place
    kEmit,     // the pending picture is finished (its delay given), this one is pending now
  };

  // Called on the frame thread only. Every frame, in order, picture or not.
  void Arrive(const FrameClock& clock);

  // Called on the frame thread only. Whether a picture is pending (and so
  // whether Place needs to know if the new one equals it).
  bool HasPending() const { return has_pending_; }

  // Called on the frame thread only. For a frame with a picture, right after
  // its Arrive. With kEmit, `finished_delay` is the pending picture's delay.
  Step Place(bool same_as_pending, std::int64_t& finished_delay);

  // Called on the frame thread only. The last frame ends at `stop` instead
  // of one frame period after its capture time.
  void MarkEnd(std::chrono::steady_clock::time_point stop) { stop_ = stop; }

  // Called on the frame thread only. The delay of the pending picture once
  // no more frames come (at least 2); nothing when no picture was placed.
  std::optional<std::int64_t> Finish();

 private:
  std::int64_t LastFrameMicros() const;
  static std::int64_t NominalDuration(std::uint16_t delay, std::int64_t nominal_micros);
  static std::int64_t Hundredths(std::int64_t micros);

  std::int64_t position_ = 0;  // microseconds since the first frame
  std::int64_t frames_seen_ = 0;
  std::int64_t timed_total_ = 0, timed_count_ = 0;
  FrameClock last_;
  std::optional<std::chrono::steady_clock::time_point> stop_;
  bool has_pending_ = false;
  bool emitted_any_ = false;
  std::int64_t pending_start_ = 0;  // hundredths
};

}  // namespace orvamy::gif
