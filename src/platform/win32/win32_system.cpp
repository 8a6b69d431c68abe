#include "platform/win32/win32_system.h"

#include <knownfolders.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvamy::win32 {

Clock::TimePoint SteadyClock::Now() { return std::chrono::steady_clock::now(); }

void SteadyClock::SleepUntil(TimePoint deadline, const StopSignal& wake) {
  const TimePoint now = Now();
  if (deadline <= now) {
    std::this_thread::yield();  // behind the schedule: give up the rest of the time slice
    return;
  }
  // The wait ends at the deadline or when `wake` is stopped, never on anything else.
  wake.WaitUntil(deadline);
}

LocalTime Win32LocalTime::NowLocal() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

SaveLocations DefaultSaveLocations() {
  SaveLocations locations;
  locations.separator = '\\';
  locations.process_id = GetCurrentProcessId();
  locations.directories.push_back(Narrow(ExecutableDirectory()));
  PWSTR pictures = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_DEFAULT, nullptr, &pictures)) &&
      pictures) {
    locations.directories.push_back(Narrow(pictures));
  }
  CoTaskMemFree(pictures);
  return locations;
}

bool ProcessRunning(std::uint64_t process_id) {
  const auto id = static_cast<DWORD>(process_id);
  if (id == 0 || id != process_id) return false;
  struct ProcessHandle {
    HANDLE handle;
    ~ProcessHandle() {
      if (handle) CloseHandle(handle);
    }
  } process{OpenProcess(SYNCHRONIZE, FALSE, id)};
  // Access denied: it exists but belongs to someone else.
  if (!process.handle) return GetLastError() == ERROR_ACCESS_DENIED;
  return WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
}

TimerResolution::TimerResolution() : active_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
  if (active_) timeEndPeriod(1);
}

}  // namespace orvamy::win32
