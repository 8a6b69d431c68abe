#pragma once
// The Wayland capture back end in one object: the portal session, the
// PipeWire streams and the ports the recorder reads. The program makes one at
// start-up on Wayland and keeps it until it ends.

#include <memory>
#include <string>

#include "ports/ports.h"

namespace orvamy::wayland {

class WaylandCapture {
 public:
  // Asks the desktop for the monitors (a dialog the first time; later the
  // restore token kept in the user's config folder skips it), connects the
  // streams and waits, bounded, for a first picture of each monitor. Null with
  // `error` set to a message for the user (Chinese, naming what to do).
  // Called on the UI thread only, with a Qt application made: it runs a local
  // event loop while the portal's dialog is open and while it waits for the
  // first pictures.
  static std::unique_ptr<WaylandCapture> Start(std::string& error);

  // Ends the streams (their thread is joined) and the portal session.
  // Called on the UI thread only, after every recorder thread has ended.
  ~WaylandCapture();
  WaylandCapture(const WaylandCapture&) = delete;
  WaylandCapture& operator=(const WaylandCapture&) = delete;

  // The screen as the recorder reads it. Thread-safe (the returned object too).
  ScreenSource& screen();
  // The pointer from the streams; nullopt always where FollowsPointer() is
  // false. Thread-safe (the returned object too).
  PointerSource& pointer();
  // False where the desktop shares no pointer position (cursor metadata not
  // offered): the caller records a fixed rectangle and says so
  // (kFixedRectangleNote). Thread-safe.
  bool FollowsPointer() const;
  // Whether the desktop has ended the sharing (its session closed, or every
  // stream taken away): nothing more will come. Thread-safe.
  bool SharingEnded() const;

  struct Parts;
  // Used by Start only (Parts is private to the .cpp). Called on the UI thread only.
  explicit WaylandCapture(std::unique_ptr<Parts> parts);

 private:
  std::unique_ptr<Parts> parts_;
};

}  // namespace orvamy::wayland
