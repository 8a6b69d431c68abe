#pragma once
// SIGTERM, SIGINT and SIGHUP as readable events instead of asynchronous
// handlers: the three are blocked and delivered through a signalfd, which the
// UI loop watches like any other descriptor. Nothing runs inside a signal
// handler, so nothing has to be async-signal-safe, and no global state is kept.
//
// Construct it first thing in main(), before any thread exists: a blocked
// mask is inherited by the threads created afterwards, and a thread that does
// not block the signals would take them the old way (and end the process).

#include <csignal>

namespace orvamy::posix {

class ExitSignals {
 public:
  // Called on the main thread only, before any other thread starts.
  ExitSignals();
  ~ExitSignals();
  ExitSignals(const ExitSignals&) = delete;
  ExitSignals& operator=(const ExitSignals&) = delete;

  // The descriptor that becomes readable when one of the signals arrives; -1
  // when it could not be made (the signals then end the process as before).
  int FileDescriptor() const { return fd_; }
  // Reads the pending signals; the number of the last, or 0 when none was
  // pending. Called on the UI thread only.
  int TakePending();

 private:
  sigset_t previous_mask_{};
  int fd_ = -1;
};

}  // namespace orvamy::posix
