#include "video/display_monitors_win.h"

namespace orvane {
namespace {

struct MonitorSearch {
  uint32_t wanted;
  uint32_t seen = 0;
  HMONITOR found = nullptr;
};

BOOL CALLBACK VisitMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto* search = reinterpret_cast<MonitorSearch*>(data);
  if (search->seen++ == search->wanted) {
    search->found = monitor;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HMONITOR MonitorAtIndex(uint32_t index) {
  MonitorSearch search{index};
  EnumDisplayMonitors(nullptr, nullptr, VisitMonitor, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace orvane
