#include "video/capture_source_stop.h"

#include "base/logger.h"

namespace orvane {

void CaptureSourceStop::Stop(const char* log_line, const char* notice) {
  LOG_WARN("%s", log_line);
  stopped_ = true;
  notice_ = notice;
}

}  // namespace orvane
