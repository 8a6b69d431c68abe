#pragma once
// Time and places: the steady clock the recorder paces by, local wall-clock
// time for the file name, and the folders recordings are saved in.

#include "ports/ports.h"
#include "record/recorder.h"
#include "platform/win32/win32_util.h"

namespace orvamy::win32 {

// Thread-safe.
class SteadyClock final : public Clock {
 public:
  TimePoint Now() override;
  void SleepUntil(TimePoint deadline, const StopSignal& wake) override;
};

// Thread-safe.
class Win32LocalTime final : public LocalTimeSource {
 public:
  LocalTime NowLocal() override;
};

// The program's own directory, then the user's Pictures folder for when that
// is not writable (a program under Program Files, a read-only share); this
// process's id.
SaveLocations DefaultSaveLocations();

// Whether a process of this id is running (also one we may not open).
bool ProcessRunning(std::uint64_t process_id);

// Asks the system timer for 1 ms resolution while it lives, so that waits of
// a few milliseconds (high frame rates) are not stretched to 15.6 ms. The
// resolution is system-wide and costs power: hold one only while recording.
class TimerResolution {
 public:
  TimerResolution();
  ~TimerResolution();
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;

 private:
  bool active_ = false;
};

}  // namespace orvamy::win32
