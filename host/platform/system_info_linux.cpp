#include "platform/system_info.h"

#include <unistd.h>

namespace orvane {

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) {
    return {};
  }
  return name;
}

}  // namespace orvane
