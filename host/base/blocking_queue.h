#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace orvane {

// A queue whose consumer sleeps until there is work or the queue is closed, so that no
// thread polls for requests.
template <typename T>
class BlockingQueue {
 public:
  // False once the queue is closed: the item is dropped.
  bool Push(T item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) {
        return false;
      }
      items_.push_back(std::move(item));
    }
    changed_.notify_one();
    return true;
  }

  // Waits for the next item; nothing once the queue is closed (items left are dropped).
  std::optional<T> Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || !items_.empty(); });
    if (closed_) {
      return std::nullopt;
    }
    T item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
      items_.clear();
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace orvane
