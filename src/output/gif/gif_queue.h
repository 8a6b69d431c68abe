#pragma once
// The hand-over between the encoder's threads: a bounded FIFO, and two small
// pools that hand memory back upstream so that a long recording does not
// allocate a fresh buffer per frame.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace orvamy::gif {

// A FIFO that blocks producers while full (by item count or total weight) and
// consumers while empty. Close() wakes everybody; a closed queue still hands
// out what it holds. Thread-safe.
template <typename T>
class BoundedQueue {
 public:
  BoundedQueue(std::size_t max_items, std::size_t max_weight)
      : max_items_(max_items), max_weight_(max_weight) {}

  // Thread-safe. False when the queue was closed. An item heavier than the
  // limit still goes in once the queue is empty.
  bool Push(T item, std::size_t weight) {
    std::unique_lock lock(mutex_);
    not_full_.wait(lock, [&] {
      return closed_ || items_.empty() ||
             (items_.size() < max_items_ && weight_ + weight <= max_weight_);
    });
    if (closed_) return false;
    items_.push_back({std::move(item), weight});
    weight_ += weight;
    not_empty_.notify_one();
    return true;
  }

  // Thread-safe. Nothing once the queue is closed and empty.
  std::optional<T> Pop() {
    std::unique_lock lock(mutex_);
    not_empty_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    Entry entry = std::move(items_.front());
    items_.pop_front();
    weight_ -= entry.weight;
    not_full_.notify_all();
    return std::move(entry.item);
  }

  // Thread-safe.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    not_empty_.notify_all();
    not_full_.notify_all();
  }

 private:
  struct Entry {
    T item;
    std::size_t weight;
  };
  std::mutex mutex_;  // guards everything below
  std::condition_variable not_full_;
  std::condition_variable not_empty_;
  std::deque<Entry> items_;
  std::size_t weight_ = 0;
  std::size_t max_items_;
  std::size_t max_weight_;
  bool closed_ = false;
};

// Keeps up to `kept` spare objects (byte buffers, frames) handed back
// downstream, so their memory is reused instead of faulted in afresh (a
// full-HD frame holds about 12 MB). Thread-safe.
template <typename T>
class RecyclePool {
 public:
  explicit RecyclePool(std::size_t kept) : kept_(kept) {}

  // Thread-safe. Nothing when no spare is kept.
  std::optional<T> Take() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return std::nullopt;
    T item = std::move(free_.back());
    free_.pop_back();
    return item;
  }

  // Thread-safe. Dropped when enough spares are kept.
  void Give(T item) {
    std::lock_guard lock(mutex_);
    if (free_.size() < kept_) free_.push_back(std::move(item));
  }

 private:
  std::mutex mutex_;  // guards free_
  std::vector<T> free_;
  std::size_t kept_;
};

}  // namespace orvamy::gif
