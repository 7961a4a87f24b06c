#include "video/force_cpu_nv12.h"

#include <cstdlib>

namespace orvane {

bool ForceCpuNv12Requested(const char* value) {
  return value != nullptr && value[0] != '\0' && value[0] != '0';
}

bool ForceCpuNv12() {
  static const bool forced = ForceCpuNv12Requested(std::getenv(kForceCpuNv12Variable));
  return forced;
}

}  // namespace orvane
