#include <google/protobuf/stubs/logging.h>

#include <string>

#include "app/library_log_bridges.h"
#include "base/log_text.h"
#include "base/logger.h"

namespace orvane {
namespace {

// Called, among others, for every string field of a peer's message that is not UTF-8:
// a peer decides how often.
void LogProtobufMessage(google::protobuf::LogLevel level, const char* /*file*/, int /*line*/,
                        const std::string& message) {
  LogLevel ours = LogLevel::kError;
  if (level == google::protobuf::LOGLEVEL_INFO) {
    ours = LogLevel::kInfo;
  } else if (level == google::protobuf::LOGLEVEL_WARNING) {
    ours = LogLevel::kWarn;
  }
  Logger::Instance().LogCollapsed(ours, "[libprotobuf] %s", EscapeForLog(message).c_str());
}

}  // namespace

void InstallProtobufLogBridge() {
  google::protobuf::SetLogHandler(LogProtobufMessage);
}

}  // namespace orvane
