// The frame timeline on its own: which pictures are written, and for how
// long, from delays and capture times alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "output/gif/gif_timeline.h"

namespace orvamy::gif {
namespace {

using std::chrono::microseconds;
using Step = FrameTimeline::Step;

// Feeds frames and collects the delays of the pictures written.
struct Feed {
  FrameTimeline timeline;
  std::vector<std::int64_t> delays;
  std::chrono::steady_clock::time_point clock{};

  // A frame with a picture (`same`: identical to the pending one).
  Step Picture(std::uint16_t delay, std::optional<microseconds> after = std::nullopt,
               bool same = false, microseconds nominal = microseconds(0)) {
    timeline.Arrive(Clock(delay, after, nominal));
    std::int64_t finished = -1;
    const Step step = timeline.Place(same && timeline.HasPending(), finished);
    if (step == Step::kEmit) delays.push_back(finished);
    return step;
  }
  void Empty(std::uint16_t delay, std::optional<microseconds> after = std::nullopt) {
    timeline.Arrive(Clock(delay, after, microseconds(0)));
  }
  std::vector<std::int64_t> Finish() {
    if (const auto last = timeline.Finish()) delays.push_back(*last);
    return delays;
  }
  FrameClock Clock(std::uint16_t delay, std::optional<microseconds> after, microseconds nominal) {
    FrameClock c;
    c.delay = delay;
    c.nominal_micros = nominal.count();
    if (after) {
      clock += *after;
      c.captured = clock;
    }
    return c;
  }
};

std::int64_t Sum(const std::vector<std::int64_t>& v) { return std::accumulate(v.begin(), v.end(), std::int64_t{0}); }

TEST(GifTimeline, MergesIdenticalPicturesAndLengthensThePictureShownForEmptyFrames) {
  Feed r;
  EXPECT_EQ(r.Picture(20), Step::kFirst);
  EXPECT_EQ(r.Picture(20, std::nullopt, true), Step::kMerge);
  EXPECT_EQ(r.Picture(20), Step::kEmit);
  r.Empty(20);
  EXPECT_EQ(r.Picture(20, std::nullopt, true), Step::kMerge);
  EXPECT_EQ(r.Picture(20), Step::kEmit);
  EXPECT_EQ(r.Finish(), (std::vector<std::int64_t>{40, 60, 20}));
}

TEST(GifTimeline, NothingPlacedGivesNothingAndEmptyFramesBeforeTheFirstPictureCountForIt) {
  Feed none;
  none.Empty(10);
  EXPECT_TRUE(none.Finish().empty());

  Feed r;
  r.Empty(10);
  r.Empty(10);
  r.Picture(10);  // starts at 20 hundredths, but the animation starts with it
  r.Picture(10);
  EXPECT_EQ(r.Finish(), (std::vector<std::int64_t>{30, 10}));
}

TEST(GifTimeline, APictureTooSoonReplacesThePendingOneAndNoDelayFallsBelowTwo) {
  Feed r;
  r.Picture(0, microseconds(0));
  for (int i = 0; i < 9; ++i) r.Picture(0, microseconds(4000));  // 250 per second
  const auto delays = r.Finish();
  for (auto d : delays) EXPECT_GE(d, 2);
  EXPECT_LE(std::abs(Sum(delays) - 4), 2);  // 36 ms recorded, plus the last frame
}

TEST(GifTimeline, RoundsCumulativelySoLongRecordingsKeepTheirLength) {
  const struct {
    std::uint16_t delay;
    microseconds interval;  // between captures, and the pacing interval reported
    bool timed;
    int frames;
    std::int64_t total;
  } cases[] = {
      {3, microseconds(33333), true, 30, 100},   // 30/s: 3/3/4, not 3 x 30
      {14, microseconds(142857), true, 7, 100},  // 7/s
      {1, microseconds(33333), true, 30, 100},   // delay 1: the capture times rule
      {0, microseconds(16667), true, 60, 100},   // 60/s
      {5, microseconds(100000), true, 4, 35},    // the times rule; the last frame lasts its delay
      {3, microseconds(0), false, 30, 90},       // no times, no interval: the delay as it stands
  };
  for (const auto& c : cases) {
    Feed r;
    for (int i = 0; i < c.frames; ++i) {
      r.Picture(c.delay, c.timed ? std::optional(i ? c.interval : microseconds(0)) : std::nullopt,
                false, c.interval);
    }
    const auto delays = r.Finish();
    SCOPED_TRACE(testing::Message() << "delay " << c.delay << " interval " << c.interval.count());
    EXPECT_LE(std::abs(Sum(delays) - c.total), 1);
    for (auto d : delays) EXPECT_GE(d, 2);
  }
}

}  // namespace
}  // namespace orvamy::gif
