#pragma once
// How other threads get work done on the UI thread without ever blocking it
// for good: a thread posts a piece of work and waits on a Waiter that the work
// settles; CancelAll() settles every outstanding wait at once (used when the
// program ends, while the UI thread itself waits for those threads).

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace orvamy::qt {

class Waiter {
 public:
  // Thread-safe; only the first settling counts.
  void Settle(bool value);
  bool IsSettled() const;
  // Blocks until settled; the value given to Settle (false when cancelled).
  bool Wait();

 private:
  mutable std::mutex mutex_;  // guards settled_ and value_
  std::condition_variable settled_cv_;
  bool settled_ = false;
  bool value_ = false;
};

class UiBridge {
 public:
  // `ui_object` lives on the UI thread and outlives the bridge's users.
  explicit UiBridge(QObject& ui_object);

  // Thread-safe.
  bool OnUiThread() const;
  // Runs `work` on the UI thread later, in posting order. Thread-safe.
  void Post(std::function<void()> work);
  // Registers a wait that CancelAll can end. Thread-safe.
  std::shared_ptr<Waiter> NewWaiter();
  // Waits for `waiter` and forgets it. Thread-safe.
  bool Await(const std::shared_ptr<Waiter>& waiter);
  // Settles every registered wait with false. Thread-safe.
  void CancelAll();

 private:
  QObject& ui_object_;
  std::mutex mutex_;  // guards waiters_
  std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace orvamy::qt
