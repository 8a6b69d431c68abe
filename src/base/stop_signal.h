#pragma once
// A stop request that a sleeping thread wakes up for.
//
// Built on a plain mutex and condition variable on purpose: with the
// MinGW-w64 GCC 12 runtime, std::stop_callback's destructor can wait forever
// for a callback that has already finished (its semaphore misses the
// wake-up), which froze a frame loop woken by Stop. Nothing here spins or
// depends on the runtime's atomic waits.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvamy {

class StopSignal {
 public:
  // Thread-safe. Sets the stop for good and wakes every waiter.
  void Request() {
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    woken_.notify_all();
  }

  // Thread-safe.
  bool Requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
  }

  // Thread-safe. Returns at `deadline` or as soon as a stop is requested;
  // true when stopped.
  template <typename ClockType, typename Duration>
  bool WaitUntil(std::chrono::time_point<ClockType, Duration> deadline) const {
    std::unique_lock lock(mutex_);
    return woken_.wait_until(lock, deadline, [this] { return requested_; });
  }

  // Thread-safe. The same for at most `timeout`.
  template <typename Rep, typename Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) const {
    std::unique_lock lock(mutex_);
    return woken_.wait_for(lock, timeout, [this] { return requested_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable woken_;
  bool requested_ = false;
};

}  // namespace orvamy
