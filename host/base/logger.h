#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "base/local_time.h"

#ifdef __MINGW32__
#define ORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define ORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace orvane {

enum class LogLevel : uint8_t { kDebug = 0, kInfo = 1, kWarn = 2, kError = 3 };

// What the logger reads from its surroundings; tests replace it to drive rotation
// without waiting for midnight.
struct LoggerEnvironment {
  std::function<LocalTime()> now;
  // Folder for the daily files; an empty path means the current directory.
  std::function<std::filesystem::path()> log_folder;
  FILE* console = stdout;
};

class Logger {
 public:
  // The process-wide logger; its shutdown line is written at process exit.
  static Logger& Instance();

  explicit Logger(LoggerEnvironment environment);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Opens today's file in the environment's folder. The process-wide logger writes to
  // the console only until it is given the environment of the running program.
  void Init(const std::string& name);
  void Init(const std::string& name, LoggerEnvironment environment);
  void Log(LogLevel level, const char* format, ...) ORVANE_PRINTF_FORMAT(3, 4);

  // Where console lines go (standard output unless changed); a program whose own results
  // go to standard output moves the diagnostics to standard error.
  void SetConsoleStream(FILE* console);

  // Writes the shutdown line and closes the file; later lines reach the console only.
  void Shutdown();

  // The day's file being written, empty when no file is open.
  std::filesystem::path CurrentFilePath();

  // Receives every line that passes the level filter, after the sinks. Meant for tests
  // and for surfaces that mirror the log; pass nullptr to remove.
  using Observer = std::function<void(LogLevel, const std::string& message)>;
  void SetObserver(Observer observer);

 private:
  std::filesystem::path FilePathFor(const std::string& date) const;
  void RotateIfDayChanged(const LocalTime& now, const std::string& timestamp);
  void DeleteLogsOlderThanSevenDays() const;

  LoggerEnvironment environment_;
  std::atomic<FILE*> console_;
  std::mutex mutex_;
  FILE* file_ = nullptr;
  std::string current_date_;
  std::string name_ = "orvane";
  std::filesystem::path folder_;
  bool initialized_ = false;
  static constexpr LogLevel kMinimumLevel = LogLevel::kInfo;

  std::mutex observer_mutex_;
  Observer observer_;
};

// "%04d-%02d-%02d %02d:%02d:%02d.%03d", 23 characters.
std::string FormatLogTimestamp(const LocalTime& time);
// "%Y%m%d", the date that names a day's file.
std::string FormatLogDate(const LocalTime& time);

// While one is alive on a thread (and `active`), lines below ERROR that the thread logs
// are dropped. For the lines a remote peer can make the host write as fast as it can send
// messages, once the first of a burst is in the log.
class ScopedLogSilence {
 public:
  explicit ScopedLogSilence(bool active);
  ~ScopedLogSilence();
  ScopedLogSilence(const ScopedLogSilence&) = delete;
  ScopedLogSilence& operator=(const ScopedLogSilence&) = delete;

 private:
  const bool active_;
};

}  // namespace orvane

#define ORVANE_LOG(level, ...) ::orvane::Logger::Instance().Log(level, __VA_ARGS__)
#define LOG_INFO(...) ORVANE_LOG(::orvane::LogLevel::kInfo, __VA_ARGS__)
#define LOG_WARN(...) ORVANE_LOG(::orvane::LogLevel::kWarn, __VA_ARGS__)
#define LOG_ERROR(...) ORVANE_LOG(::orvane::LogLevel::kError, __VA_ARGS__)
#define LOG_DEBUG(...) ORVANE_LOG(::orvane::LogLevel::kDebug, __VA_ARGS__)
