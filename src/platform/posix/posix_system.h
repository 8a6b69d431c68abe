#pragma once
// The plain POSIX services the core asks for: a steady clock that sleeps to a
// deadline, the local time, and where recordings are saved.

#include <cstdint>
#include <string>
#include <vector>

#include "ports/ports.h"
#include "ports/save_locations.h"

namespace orvamy::posix {

class SteadyClock final : public Clock {
 public:
  TimePoint Now() override;
  void SleepUntil(TimePoint deadline, const StopSignal& wake) override;
};

class SystemLocalTime final : public LocalTimeSource {
 public:
  LocalTime NowLocal() override;
};

// The executable's directory (from /proc/self/exe), then the user's pictures
// folder (XDG) when it exists, then the home folder; this process's id.
SaveLocations LinuxSaveLocations();

// Whether a process of this id is running (also one of another user).
bool ProcessRunning(std::uint64_t process_id);

}  // namespace orvamy::posix
