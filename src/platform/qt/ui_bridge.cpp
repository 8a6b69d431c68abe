#include "platform/qt/ui_bridge.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>

namespace orvamy::qt {

void Waiter::Settle(bool value) {
  {
    std::lock_guard lock(mutex_);
    if (settled_) return;
    settled_ = true;
    value_ = value;
  }
  settled_cv_.notify_all();
}

bool Waiter::IsSettled() const {
  std::lock_guard lock(mutex_);
  return settled_;
}

bool Waiter::Wait() {
  std::unique_lock lock(mutex_);
  settled_cv_.wait(lock, [this] { return settled_; });
  return value_;
}

UiBridge::UiBridge(QObject& ui_object) : ui_object_(ui_object) {}

bool UiBridge::OnUiThread() const { return QThread::currentThread() == ui_object_.thread(); }

void UiBridge::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(&ui_object_, std::move(work), Qt::QueuedConnection);
}

std::shared_ptr<Waiter> UiBridge::NewWaiter() {
  auto waiter = std::make_shared<Waiter>();
  std::lock_guard lock(mutex_);
  waiters_.push_back(waiter);
  return waiter;
}

bool UiBridge::Await(const std::shared_ptr<Waiter>& waiter) {
  const bool value = waiter->Wait();
  std::lock_guard lock(mutex_);
  waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
  return value;
}

void UiBridge::CancelAll() {
  std::vector<std::shared_ptr<Waiter>> pending;
  {
    std::lock_guard lock(mutex_);
    pending = waiters_;
  }
  for (const auto& w : pending) w->Settle(false);
}

}  // namespace orvamy::qt
