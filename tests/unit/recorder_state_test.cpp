#include "record/recorder_state.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

using S = RecorderState;
using E = RecorderEvent;

TEST(RecorderState, EveryStateAndEvent) {
  const struct {
    S state;
    E event;
    S next;
  } cases[] = {
      // A start is taken when nothing runs, or when the running recording was
      // already asked to stop (that one ends on its own); otherwise refused.
      {S::kIdle, E::kStart, S::kStarting},
      {S::kStarting, E::kStart, S::kStarting},
      {S::kStopWhileStarting, E::kStart, S::kStarting},
      {S::kRecording, E::kStart, S::kRecording},
      {S::kStopping, E::kStart, S::kStarting},
      // A stop ends a recording exactly once; with nothing running it does nothing.
      {S::kIdle, E::kStop, S::kIdle},
      {S::kStarting, E::kStop, S::kStopWhileStarting},
      {S::kStopWhileStarting, E::kStop, S::kStopWhileStarting},
      {S::kRecording, E::kStop, S::kStopping},
      {S::kStopping, E::kStop, S::kStopping},
      // The loop's first frame: a stop that came while starting lets it take
      // that one frame and end.
      {S::kIdle, E::kLoopBegan, S::kIdle},
      {S::kStarting, E::kLoopBegan, S::kRecording},
      {S::kStopWhileStarting, E::kLoopBegan, S::kStopping},
      {S::kRecording, E::kLoopBegan, S::kRecording},
      {S::kStopping, E::kLoopBegan, S::kStopping},
      // The loop has returned (or never ran): idle from anywhere.
      {S::kIdle, E::kLoopEnded, S::kIdle},
      {S::kStarting, E::kLoopEnded, S::kIdle},
      {S::kStopWhileStarting, E::kLoopEnded, S::kIdle},
      {S::kRecording, E::kLoopEnded, S::kIdle},
      {S::kStopping, E::kLoopEnded, S::kIdle},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StateName(Next(c.state, c.event)), StateName(c.next))
        << StateName(c.state) << " + event " << static_cast<int>(c.event);
  }
}

// The transition function is usable where the compiler checks it.
static_assert(Next(S::kRecording, E::kStop) == S::kStopping);

}  // namespace
}  // namespace orvamy
