#include "base/logger.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <system_error>

namespace orvane {
namespace {

constexpr size_t kMessageBufferSize = 2048;
constexpr auto kOldLogAge = std::chrono::hours(24 * 7);
constexpr const char* kLevelNames[] = {"DEBUG", "INFO ", "WARN ", "ERROR"};

const char* LevelName(LogLevel level) {
  return kLevelNames[static_cast<uint8_t>(level) & 3u];
}

// Until the program says where its files go and which clock stamps them, lines reach
// the console only.
LoggerEnvironment ConsoleOnlyEnvironment() {
  return {[] { return LocalTime{}; }, [] { return std::filesystem::path(); }, stdout};
}

}  // namespace

std::string FormatLogTimestamp(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

std::string FormatLogDate(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof(text), "%04d%02d%02d", t.year, t.month, t.day);
  return text;
}

Logger& Logger::Instance() {
  // Never destroyed: threads may still log while static objects are torn down.
  static Logger* const instance = [] {
    auto* logger = new Logger(ConsoleOnlyEnvironment());
    std::atexit([] { Logger::Instance().Shutdown(); });
    return logger;
  }();
  return *instance;
}

Logger::Logger(LoggerEnvironment environment)
    : environment_(std::move(environment)), console_(environment_.console) {}

Logger::~Logger() {
  Shutdown();
}

std::filesystem::path Logger::FilePathFor(const std::string& date) const {
  const std::string file_name = name_ + "_" + date + ".log";
  return folder_.empty() ? std::filesystem::path(".") / file_name : folder_ / file_name;
}

void Logger::Init(const std::string& name, LoggerEnvironment environment) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    environment_ = std::move(environment);
  }
  console_.store(environment_.console);
  Init(name);
}

void Logger::Init(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const LocalTime now = environment_.now();
  name_ = name;
  current_date_ = FormatLogDate(now);
  folder_ = environment_.log_folder();
  file_ = std::fopen(FilePathFor(current_date_).string().c_str(), "a");
  if (file_ != nullptr) {
    std::fprintf(file_, "\n=== %s started at %s ===\n", name_.c_str(),
                 FormatLogTimestamp(now).c_str());
    std::fflush(file_);
  }
  initialized_ = true;
}

namespace {
thread_local int silenced_scopes = 0;
}  // namespace

ScopedLogSilence::ScopedLogSilence(bool active) : active_(active) {
  silenced_scopes += active_ ? 1 : 0;
}

ScopedLogSilence::~ScopedLogSilence() {
  silenced_scopes -= active_ ? 1 : 0;
}

void Logger::Log(LogLevel level, const char* format, ...) {
  if (level < kMinimumLevel || (silenced_scopes > 0 && level < LogLevel::kError)) {
    return;
  }
  char buffer[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  size_t length = written < 0 ? 0 : std::min(static_cast<size_t>(written), sizeof(buffer) - 1);
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) {
    --length;
  }
  buffer[length] = '\0';

  FILE* const console = console_.load();
  std::fprintf(console, "[%s] %s\n", LevelName(level), buffer);
  std::fflush(console);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_ && file_ != nullptr) {
      const LocalTime now = environment_.now();
      const std::string timestamp = FormatLogTimestamp(now);
      RotateIfDayChanged(now, timestamp);
      if (file_ != nullptr) {
        std::fprintf(file_, "%s [%s] %s\n", timestamp.c_str(), LevelName(level), buffer);
        std::fflush(file_);
      }
    }
  }
  std::lock_guard<std::mutex> lock(observer_mutex_);
  if (observer_) {
    observer_(level, std::string(buffer, length));
  }
}

void Logger::RotateIfDayChanged(const LocalTime& now, const std::string& timestamp) {
  const std::string today = FormatLogDate(now);
  if (today == current_date_) {
    return;
  }
  if (file_ != nullptr) {
    std::fprintf(file_, "=== Log rotated at %s ===\n", timestamp.c_str());
    std::fclose(file_);
  }
  current_date_ = today;
  file_ = std::fopen(FilePathFor(current_date_).string().c_str(), "a");
  DeleteLogsOlderThanSevenDays();
}

void Logger::DeleteLogsOlderThanSevenDays() const {
  const std::filesystem::path folder = folder_.empty() ? std::filesystem::path(".") : folder_;
  const std::string prefix = name_ + "_";
  const auto now = std::filesystem::file_time_type::clock::now();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string file_name = entry.path().filename().string();
    const bool matches = file_name.size() >= prefix.size() + 4 &&
                         file_name.compare(0, prefix.size(), prefix) == 0 &&
                         file_name.compare(file_name.size() - 4, 4, ".log") == 0;
    if (!matches) {
      continue;
    }
    std::error_code time_error;
    const auto written = std::filesystem::last_write_time(entry.path(), time_error);
    if (!time_error && now - written > kOldLogAge) {
      std::error_code ignored;
      std::filesystem::remove(entry.path(), ignored);
    }
  }
}

void Logger::Shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) {
    std::fprintf(file_, "=== Shutdown at %s ===\n", FormatLogTimestamp(environment_.now()).c_str());
    std::fclose(file_);
    file_ = nullptr;
  }
  initialized_ = false;
}

std::filesystem::path Logger::CurrentFilePath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_ != nullptr ? FilePathFor(current_date_) : std::filesystem::path();
}

void Logger::SetConsoleStream(FILE* console) {
  console_.store(console);
}

void Logger::SetObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(observer_mutex_);
  observer_ = std::move(observer);
}

}  // namespace orvane
