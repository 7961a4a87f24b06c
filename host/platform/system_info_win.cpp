#include "platform/system_info.h"

#include <windows.h>

namespace orvane {
std::string ComputerName() {
  char name[256] = {};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) {
    return {};
  }
  return std::string(name, size);
}

}  // namespace orvane
