#pragma once
// What the buttons and the hot keys ask of the recorder.

namespace orvamy {

class RecordingControl {
 public:
  virtual ~RecordingControl() = default;
  // Starts a recording on a thread of its own; refused while one runs.
  virtual void StartRecording() = 0;
  // Ends the running recording after its current frame. Thread-safe.
  virtual void StopRecording() = 0;
};

}  // namespace orvamy
