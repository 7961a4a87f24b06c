#include "base/logger.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <system_error>

#include "base/file_open.h"

namespace orvane {
namespace {

constexpr size_t kMessageBufferSize = 2048;
constexpr auto kOldLogAge = std::chrono::hours(24 * 7);
constexpr const char* kLevelNames[] = {"DEBUG", "INFO ", "WARN ", "ERROR"};
// How much of a collapsed line its summary quotes.
constexpr size_t kQuotedLineLength = 120;
constexpr auto kSummaryPollInterval = std::chrono::milliseconds(100);

const char* LevelName(LogLevel level) {
  return kLevelNames[static_cast<uint8_t>(level) & 3u];
}

// Until the program says where its files go and which clock stamps them, lines reach
// the console only.
LoggerEnvironment ConsoleOnlyEnvironment() {
  return {[] { return LocalTime{}; }, [] { return std::filesystem::path(); }, stdout};
}

std::string FormatMessage(const char* format, va_list args) {
  char buffer[kMessageBufferSize];
  const int written = std::vsnprintf(buffer, sizeof(buffer), format, args);
  size_t length = written < 0 ? 0 : std::min(static_cast<size_t>(written), sizeof(buffer) - 1);
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) {
    --length;
  }
  return std::string(buffer, length);
}

std::string RepeatSummary(uint64_t count, const std::string& first_line) {
  std::string quoted = first_line.substr(0, kQuotedLineLength);
  if (first_line.size() > kQuotedLineLength) {
    quoted += "...";
  }
  return "[Log] " + std::to_string(count) + " more like \"" + quoted + "\" within a second";
}

thread_local int silenced_scopes = 0;

}  // namespace

uint64_t SteadyMilliseconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const LocalTime now = environment_.now();
    name_ = name;
    folder_ = environment_.log_folder();
    if (file_ != nullptr) {
      std::fclose(file_);
    }
    OpenFileLocked(FormatLogDate(now));
    if (file_ != nullptr) {
      AppendToFileLocked("\n=== " + name_ + " started at " + FormatLogTimestamp(now) + " ===\n",
                         file_cap_bytes_);
    }
    initialized_ = true;
  }
}

void Logger::OpenFileLocked(const std::string& date) {
  current_date_ = date;
  file_ = OpenFile(FilePathFor(current_date_), "a");
  file_bytes_ = 0;
  cap_notice_written_ = false;
  // The day's file may hold an earlier run's lines; they count towards its cap.
  if (file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0) {
    file_bytes_ = static_cast<uint64_t>(std::max(std::ftell(file_), 0L));
  }
}

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
  va_list args;
  va_start(args, format);
  const std::string text = FormatMessage(format, args);
  va_end(args);
  Lines written;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    WriteRepeatSummariesLocked(environment_.tick_ms(), false, written);
    WriteLocked(level, text, written);
  }
  Observe(written);
}

void Logger::LogCollapsed(LogLevel level, const char* format, ...) {
  if (level < kMinimumLevel || (silenced_scopes > 0 && level < LogLevel::kError)) {
    return;
  }
  va_list args;
  va_start(args, format);
  std::string text = FormatMessage(format, args);
  va_end(args);
  Lines written;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t now_ms = environment_.tick_ms();
    WriteRepeatSummariesLocked(now_ms, false, written);
    const auto [site, first_time] = repeats_.try_emplace({format, level});
    Repeats& repeats = site->second;
    // A clock that went back ends the second too.
    if (first_time || now_ms - repeats.window_start_ms >= kRepeatWindowMs) {
      repeats.window_start_ms = now_ms;
      repeats.written.clear();
    }
    const bool seen =
        std::find(repeats.written.begin(), repeats.written.end(), text) != repeats.written.end();
    if (seen || repeats.written.size() >= kCollapsedLinesPerSecond) {
      if (repeats.count++ == 0) {
        StartSummaryThread();
        summary_wake_.notify_one();
      }
      return;
    }
    repeats.written.push_back(std::move(text));
    WriteLocked(level, repeats.written.back(), written);
  }
  Observe(written);
}

bool Logger::RepeatsPendingLocked() const {
  return std::any_of(repeats_.begin(), repeats_.end(),
                     [](const auto& site) { return site.second.count > 0; });
}

void Logger::WriteRepeatSummariesLocked(uint64_t now_ms, bool all, Lines& written) {
  std::vector<std::pair<const std::pair<const char*, LogLevel>, Repeats>*> due;
  for (auto& site : repeats_) {
    const Repeats& repeats = site.second;
    if (repeats.count > 0 && (all || now_ms - repeats.window_start_ms >= kRepeatWindowMs)) {
      due.push_back(&site);
    }
  }
  std::sort(due.begin(), due.end(), [](const auto* a, const auto* b) {
    return a->second.window_start_ms < b->second.window_start_ms;
  });
  for (auto* site : due) {
    Repeats& repeats = site->second;
    const std::string summary = RepeatSummary(repeats.count, repeats.written.front());
    repeats.count = 0;
    WriteLocked(site->first.second, summary, written);
  }
}

void Logger::WriteLocked(LogLevel level, const std::string& text, Lines& written) {
  FILE* const console = console_.load();
  std::fprintf(console, "[%s] %s\n", LevelName(level), text.c_str());
  std::fflush(console);
  written.emplace_back(level, text);
  if (initialized_ && file_ != nullptr) {
    WriteFileLineLocked(level, text);
  }
}

void Logger::WriteFileLineLocked(LogLevel level, const std::string& text) {
  const LocalTime now = environment_.now();
  const std::string timestamp = FormatLogTimestamp(now);
  RotateIfDayChanged(now, timestamp);
  if (file_ == nullptr) {
    return;
  }
  const std::string line = timestamp + " [" + LevelName(level) + "] " + text + "\n";
  const uint64_t reserve = file_cap_bytes_ / 64;
  const uint64_t limit = level >= LogLevel::kError ? file_cap_bytes_ : file_cap_bytes_ - reserve;
  if (AppendToFileLocked(line, limit) || level >= LogLevel::kError || cap_notice_written_) {
    return;
  }
  cap_notice_written_ = true;
  AppendToFileLocked(timestamp + " [WARN ] [Log] This file reached its size cap (" +
                         std::to_string(file_cap_bytes_) +
                         " bytes): INFO and WARN lines are left out of it until the next day's "
                         "file, ERROR lines are kept while room remains\n",
                     file_cap_bytes_);
}

bool Logger::AppendToFileLocked(const std::string& line, uint64_t limit) {
  // In text mode a line end may take two bytes.
  const uint64_t most =
      line.size() + static_cast<uint64_t>(std::count(line.begin(), line.end(), '\n'));
  if (file_bytes_ + most > limit) {
    return false;
  }
  std::fputs(line.c_str(), file_);
  std::fflush(file_);
  const long position = std::ftell(file_);
  file_bytes_ = position >= 0 ? static_cast<uint64_t>(position) : file_bytes_ + most;
  return true;
}

void Logger::RotateIfDayChanged(const LocalTime& now, const std::string& timestamp) {
  const std::string today = FormatLogDate(now);
  if (today == current_date_) {
    return;
  }
  if (file_ != nullptr) {
    AppendToFileLocked("=== Log rotated at " + timestamp + " ===\n", file_cap_bytes_);
    std::fclose(file_);
  }
  OpenFileLocked(today);
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
  StopSummaryThread();
  Lines written;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    WriteRepeatSummariesLocked(environment_.tick_ms(), true, written);
    if (file_ != nullptr) {
      AppendToFileLocked("=== Shutdown at " + FormatLogTimestamp(environment_.now()) + " ===\n",
                         file_cap_bytes_);
      std::fclose(file_);
      file_ = nullptr;
    }
    initialized_ = false;
  }
  Observe(written);
}

void Logger::EndRepeatWindows() {
  Lines written;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    WriteRepeatSummariesLocked(environment_.tick_ms(), true, written);
    repeats_.clear();
  }
  Observe(written);
}

// Called with mutex_ held, on the first line counted instead of written: started this
// late, the thread inherits the signal mask the program has set up by then (signals meant
// for a thread of the program's own must not land on it).
void Logger::StartSummaryThread() {
  if (summary_thread_.joinable()) {
    return;
  }
  summary_thread_stopping_ = false;
  summary_thread_ = std::thread([this] { SummaryLoop(); });
}

void Logger::StopSummaryThread() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_thread_stopping_ = true;
    thread = std::move(summary_thread_);
  }
  summary_wake_.notify_all();
  if (thread.joinable()) {
    thread.join();
  }
}

void Logger::SummaryLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!summary_thread_stopping_) {
    if (RepeatsPendingLocked()) {
      summary_wake_.wait_for(lock, kSummaryPollInterval);
    } else {
      summary_wake_.wait(lock);
    }
    Lines written;
    WriteRepeatSummariesLocked(environment_.tick_ms(), false, written);
    if (!written.empty()) {
      lock.unlock();
      Observe(written);
      lock.lock();
    }
  }
}

std::filesystem::path Logger::CurrentFilePath() {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_ != nullptr ? FilePathFor(current_date_) : std::filesystem::path();
}

void Logger::SetFileCap(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_cap_bytes_ = bytes;
}

void Logger::SetConsoleStream(FILE* console) {
  console_.store(console);
}

void Logger::SetObserver(Observer observer) {
  std::lock_guard<std::mutex> lock(observer_mutex_);
  observer_ = std::move(observer);
}

void Logger::Observe(const Lines& written) {
  if (written.empty()) {
    return;
  }
  std::lock_guard<std::mutex> lock(observer_mutex_);
  if (observer_) {
    for (const auto& [level, text] : written) {
      observer_(level, text);
    }
  }
}

}  // namespace orvane
