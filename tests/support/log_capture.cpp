#include "support/log_capture.h"

#include <algorithm>

namespace orvane::testing {

LogCapture::LogCapture() {
  Logger::Instance().EndRepeatWindows();
  Logger::Instance().SetObserver([this](LogLevel, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(message);
  });
}

LogCapture::~LogCapture() {
  Logger::Instance().SetObserver(nullptr);
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t LogCapture::Count(const std::string& text) const {
  const std::vector<std::string> lines = Lines();
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

bool LogCapture::Contains(const std::string& text) const {
  return Count(text) > 0;
}

bool LogCapture::WaitFor(const std::string& text, std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return Contains(text); }, limit);
}

}  // namespace orvane::testing
