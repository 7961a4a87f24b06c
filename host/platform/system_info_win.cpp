#include "platform/system_info.h"

#include <windows.h>

namespace orvane {
namespace {

BOOL CALLBACK CountMonitor(HMONITOR, HDC, LPRECT, LPARAM counter) {
  ++*reinterpret_cast<uint32_t*>(counter);
  return TRUE;
}

}  // namespace

std::string ComputerName() {
  char name[256] = {};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) {
    return {};
  }
  return std::string(name, size);
}

std::optional<uint32_t> CountMonitors() {
  uint32_t count = 0;
  if (!EnumDisplayMonitors(nullptr, nullptr, CountMonitor, reinterpret_cast<LPARAM>(&count))) {
    return std::nullopt;
  }
  return count;
}

}  // namespace orvane
