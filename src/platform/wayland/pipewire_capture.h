#pragma once
// One PipeWire stream per shared monitor on a thread loop of its own, each
// buffer handed to a FrameStore. The compositor sends a buffer only when the
// screen or the pointer changes; the store keeps the latest, and the recorder
// repeats it at its own rate.

#include <memory>
#include <string>
#include <vector>

#include "platform/wayland/frame_store.h"
#include "platform/wayland/portal_screencast.h"
#include "platform/wayland/unique_fd.h"

namespace orvamy::wayland {

class PipeWireCapture {
 public:
  // Connects over `remote` (the portal's PipeWire descriptor) and opens a
  // stream for each of `streams`; stream i feeds monitor i of `store`, which
  // must outlive this object. Null with `error` set when PipeWire refuses.
  // Called on the UI thread only.
  static std::unique_ptr<PipeWireCapture> Start(UniqueFd remote,
                                                const std::vector<PortalStream>& streams,
                                                FrameStore& store, std::string& error);

  // Stops the loop thread (joined here) and closes the streams and the
  // connection. Called on the UI thread only.
  ~PipeWireCapture();
  PipeWireCapture(const PipeWireCapture&) = delete;
  PipeWireCapture& operator=(const PipeWireCapture&) = delete;

  struct Impl;
  // Used by Start only (Impl is private to the .cpp). Called on the UI thread only.
  explicit PipeWireCapture(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvamy::wayland
