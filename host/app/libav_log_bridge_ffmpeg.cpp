extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <string>

#include "app/library_log_bridges.h"
#include "base/log_text.h"
#include "base/logger.h"

namespace orvane {
namespace {

// libav writes a line in pieces: the part up to its line end is kept per thread.
constexpr size_t kLongestPendingLine = 2048;

// libav's errors are about a call whose failure the host checks and logs itself (an
// encoder that cannot open is one candidate of several), so they are warnings here.
LogLevel LevelOf(int libav_level) {
  if (libav_level <= AV_LOG_FATAL) {
    return LogLevel::kError;
  }
  return libav_level <= AV_LOG_WARNING ? LogLevel::kWarn : LogLevel::kInfo;
}

void LogLibavMessage(void* context, int level, const char* format, va_list args) {
  if (level > av_log_get_level()) {
    return;
  }
  thread_local std::string pending;
  thread_local int print_prefix = 1;
  char piece[1024];
  av_log_format_line2(context, level, format, args, piece, sizeof(piece), &print_prefix);
  pending += piece;
  const bool line_ended = !pending.empty() && pending.back() == '\n';
  if (!line_ended && pending.size() < kLongestPendingLine) {
    return;
  }
  while (!pending.empty() && (pending.back() == '\n' || pending.back() == '\r')) {
    pending.pop_back();
  }
  if (!pending.empty()) {
    Logger::Instance().LogCollapsed(LevelOf(level), "[libav] %s", EscapeForLog(pending).c_str());
  }
  pending.clear();
}

}  // namespace

void InstallLibavLogBridge() {
  av_log_set_callback(LogLibavMessage);
}

}  // namespace orvane
