#include <glib.h>

#include <cstring>
#include <string>

#include "app/library_log_bridges.h"
#include "base/log_text.h"
#include "base/logger.h"

namespace orvane {
namespace {

std::string FieldText(const GLogField& field) {
  const char* text = static_cast<const char*>(field.value);
  if (text == nullptr) {
    return {};
  }
  return field.length < 0 ? std::string(text)
                          : std::string(text, static_cast<size_t>(field.length));
}

GLogWriterOutput LogGlibMessage(GLogLevelFlags flags, const GLogField* fields, gsize count,
                                gpointer /*data*/) {
  LogLevel level = LogLevel::kInfo;
  if ((flags & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL)) != 0) {
    level = LogLevel::kError;
  } else if ((flags & G_LOG_LEVEL_WARNING) != 0) {
    level = LogLevel::kWarn;
  } else if ((flags & G_LOG_LEVEL_DEBUG) != 0) {
    return G_LOG_WRITER_HANDLED;
  }
  std::string domain = "GLib";
  std::string message;
  for (gsize i = 0; i < count; ++i) {
    if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0) {
      domain = FieldText(fields[i]);
    } else if (std::strcmp(fields[i].key, "MESSAGE") == 0) {
      message = FieldText(fields[i]);
    }
  }
  Logger::Instance().LogCollapsed(level, "[GLib] %s: %s", EscapeForLog(domain).c_str(),
                                  EscapeForLog(message).c_str());
  return G_LOG_WRITER_HANDLED;
}

}  // namespace

void InstallGlibLogBridge() {
  g_log_set_writer_func(LogGlibMessage, nullptr, nullptr);
}

}  // namespace orvane
