#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/local_time.h"

#ifdef __MINGW32__
#define ORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define ORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace orvane {

enum class LogLevel : uint8_t { kDebug = 0, kInfo = 1, kWarn = 2, kError = 3 };

// Milliseconds of the standard library's steady clock.
uint64_t SteadyMilliseconds();

// What the logger reads from its surroundings; tests replace it to drive rotation
// without waiting for midnight.
struct LoggerEnvironment {
  std::function<LocalTime()> now;
  // Folder for the daily files; an empty path means the current directory.
  std::function<std::filesystem::path()> log_folder;
  FILE* console = stdout;
  // Measures the second within which repeated lines are counted instead of written.
  std::function<uint64_t()> tick_ms = SteadyMilliseconds;
};

class Logger {
 public:
  // The process-wide logger; its shutdown line is written at process exit.
  static Logger& Instance();

  static constexpr uint64_t kDefaultFileCapBytes = 64ull << 20;
  static constexpr uint64_t kRepeatWindowMs = 1000;
  static constexpr size_t kCollapsedLinesPerSecond = 10;

  explicit Logger(LoggerEnvironment environment);
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Opens today's file in the environment's folder. The process-wide logger writes to
  // the console only until it is given the environment of the running program.
  void Init(const std::string& name);
  void Init(const std::string& name, LoggerEnvironment environment);
  void Log(LogLevel level, const char* format, ...) ORVANE_PRINTF_FORMAT(3, 4);

  // For lines a remote peer can make the host write as fast as it sends. Within a second
  // from its first line, a call site (known by its format string) and level writes no
  // text twice and no more than ten lines; the others are counted, and when the second
  // is over one line says how many there were.
  void LogCollapsed(LogLevel level, const char* format, ...) ORVANE_PRINTF_FORMAT(3, 4);

  // Writes the counts not yet written and starts every call site's second afresh: for
  // tests, whose lines must not be taken for repeats of the test before.
  void EndRepeatWindows();

  // The size a day's file may reach. Past the cap less a reserve (a sixty-fourth of it),
  // INFO and WARN lines are left out of the file, which says so once; ERROR lines fill
  // the reserve. The console is not capped.
  void SetFileCap(uint64_t bytes);

  // Where console lines go (standard output unless changed); a program whose own results
  // go to standard output moves the diagnostics to standard error.
  void SetConsoleStream(FILE* console);

  // Writes the shutdown line and closes the file; later lines reach the console only.
  void Shutdown();

  // The day's file being written, empty when no file is open.
  std::filesystem::path CurrentFilePath();

  // Receives every line that passes the level filter and is written, after the sinks.
  // Meant for tests and for surfaces that mirror the log; pass nullptr to remove.
  using Observer = std::function<void(LogLevel, const std::string& message)>;
  void SetObserver(Observer observer);

 private:
  using Lines = std::vector<std::pair<LogLevel, std::string>>;
  // A call site's lines in its current second.
  struct Repeats {
    uint64_t window_start_ms = 0;
    std::vector<std::string> written;
    uint64_t count = 0;  // of the lines not written
  };

  std::filesystem::path FilePathFor(const std::string& date) const;
  void OpenFileLocked(const std::string& date);
  void RotateIfDayChanged(const LocalTime& now, const std::string& timestamp);
  void DeleteLogsOlderThanSevenDays() const;
  // Writes to the console and the file; the line is added to `written` for the observer.
  void WriteLocked(LogLevel level, const std::string& text, Lines& written);
  void WriteFileLineLocked(LogLevel level, const std::string& text);
  // False when the line would take the file past `limit` bytes.
  bool AppendToFileLocked(const std::string& line, uint64_t limit);
  // Summaries of the call sites whose second has passed (all of them when `all`).
  void WriteRepeatSummariesLocked(uint64_t now_ms, bool all, Lines& written);
  bool RepeatsPendingLocked() const;
  void Observe(const Lines& written);
  void StartSummaryThread();
  void StopSummaryThread();
  void SummaryLoop();

  LoggerEnvironment environment_;
  std::atomic<FILE*> console_;
  std::mutex mutex_;
  FILE* file_ = nullptr;
  uint64_t file_bytes_ = 0;
  uint64_t file_cap_bytes_ = kDefaultFileCapBytes;
  bool cap_notice_written_ = false;
  std::string current_date_;
  std::string name_ = "orvane";
  std::filesystem::path folder_;
  bool initialized_ = false;
  static constexpr LogLevel kMinimumLevel = LogLevel::kInfo;

  std::map<std::pair<const char*, LogLevel>, Repeats> repeats_;
  // Writes a summary when its second ends even if nothing else is logged by then.
  std::thread summary_thread_;
  std::condition_variable summary_wake_;
  bool summary_thread_stopping_ = false;

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

#define ORVANE_LOG_COLLAPSED(level, ...) \
  ::orvane::Logger::Instance().LogCollapsed(level, __VA_ARGS__)
#define LOG_INFO_COLLAPSED(...) ORVANE_LOG_COLLAPSED(::orvane::LogLevel::kInfo, __VA_ARGS__)
#define LOG_WARN_COLLAPSED(...) ORVANE_LOG_COLLAPSED(::orvane::LogLevel::kWarn, __VA_ARGS__)
#define LOG_ERROR_COLLAPSED(...) ORVANE_LOG_COLLAPSED(::orvane::LogLevel::kError, __VA_ARGS__)
