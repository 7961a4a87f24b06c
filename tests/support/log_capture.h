#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/logger.h"

namespace orvane::testing {

// Collects the lines the process-wide logger writes while it is alive.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();

  std::vector<std::string> Lines() const;
  bool Contains(const std::string& text) const;
  size_t Count(const std::string& text) const;
  // Waits (bounded) until a line containing `text` has been logged.
  bool WaitFor(const std::string& text,
               std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Polls `condition` until it holds or `limit` passes; returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace orvane::testing
