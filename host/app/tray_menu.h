#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Command ids of the tray menu. The caption (1001) runs nothing; only 1002..1011 are
// commands.
enum TrayCommand : uint32_t {
  kTrayCaption = 1001,
  kTrayOpen = 1002,
  kTrayDisconnect = 1003,
  kTrayExit = 1004,
  kTrayUsbSetup = 1005,
  kTrayMonitorFirst = 1006,  // "Monitor 1 (Primary)"; 1007..1009 are monitors 2..4
  kTrayMonitorLast = 1009,
  kTrayBackendAuto = 1010,
  kTrayBackendWgc = 1011,
};

// What the menu shows, read each time it opens.
struct TrayMenuState {
  std::string tooltip;
  bool connected = false;
  uint32_t output_index = 0;
  uint32_t monitor_count = 1;  // 0 counts as 1
  bool wgc_selected = false;
  bool wgc_available = true;
};

struct TrayMenuItem {
  enum class Kind { kCommand, kSeparator, kSubmenu };

  Kind kind = Kind::kCommand;
  std::string text;
  uint32_t id = 0;  // commands only
  bool enabled = true;
  bool checkable = false;  // one choice among its siblings
  bool checked = false;
  std::vector<TrayMenuItem> children;  // submenus only
};

// The items of the tray's context menu, top to bottom.
std::vector<TrayMenuItem> BuildTrayMenu(const TrayMenuState& state);

}  // namespace orvane
