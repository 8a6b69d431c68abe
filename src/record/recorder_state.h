#pragma once
// The recorder's life as a type: what the Record/Stop requests and the frame
// loop do to the recording the buttons currently talk to. One pure function
// holds every rule, so the table in recorder_state_test.cpp is the whole story.

#include <string_view>

namespace orvamy {

enum class RecorderState {
  kIdle,                // no recording: a start is accepted
  kStarting,            // a start was accepted; its frame loop has not begun
  kStopWhileStarting,   // a stop came before the first frame: one frame, then the end
  kRecording,           // the frame loop runs
  kStopping,            // asked to stop; its frame loop has not returned yet
};

enum class RecorderEvent {
  kStart,      // Record button or F7
  kStop,       // Stop button or F8
  kLoopBegan,  // the frame loop owns the canvas and takes its first frame
  kLoopEnded,  // the frame loop has returned (or never ran: refused size, no thread)
};

// The state after `event`. A start is accepted from kIdle, and from a state
// whose recording has already been asked to stop: that one finishes on its own
// (it keeps the canvas until its last frame), the new one waits for the canvas.
// Every other pair not listed leaves the state as it is (a refused request).
constexpr RecorderState Next(RecorderState state, RecorderEvent event) {
  using S = RecorderState;
  using E = RecorderEvent;
  switch (event) {
    case E::kStart:
      return state == S::kIdle || state == S::kStopping || state == S::kStopWhileStarting
                 ? S::kStarting
                 : state;
    case E::kStop:
      if (state == S::kStarting) return S::kStopWhileStarting;
      if (state == S::kRecording) return S::kStopping;
      return state;
    case E::kLoopBegan:
      if (state == S::kStarting) return S::kRecording;
      if (state == S::kStopWhileStarting) return S::kStopping;
      return state;
    case E::kLoopEnded:
      return S::kIdle;
  }
  return state;
}

// For test output.
constexpr std::string_view StateName(RecorderState state) {
  switch (state) {
    case RecorderState::kIdle: return "idle";
    case RecorderState::kStarting: return "starting";
    case RecorderState::kStopWhileStarting: return "stop-while-starting";
    case RecorderState::kRecording: return "recording";
    case RecorderState::kStopping: return "stopping";
  }
  return "?";
}

}  // namespace orvamy
