#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// Command ids of the tray menu. The caption (1001) runs nothing; from 1002 on they are
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
  // One id per choosable capture source after the first, in list order (1011 is WGC on
  // Windows).
  kTrayBackendOthersFirst = 1011,
  // Past every capture source's id.
  kTrayExtend = 1100,
};

// A capture source the user may choose, as the Capture Backend menu shows it.
struct TrayCaptureSource {
  std::string name;   // the choice it makes ("wgc")
  std::string title;  // "WGC (Beta)"
  bool available = true;
};

// What the menu shows, read each time it opens.
struct TrayMenuState {
  std::string tooltip;
  bool connected = false;
  uint32_t output_index = 0;
  uint32_t monitor_count = 1;  // 0 counts as 1
  // The choosable sources in preference order; the first is what Auto starts with.
  std::vector<TrayCaptureSource> capture_sources{};
  std::string capture_choice = "auto";
  // "Extend the desktop": whether this desktop can be (the entry is shown), and whether
  // it is now.
  bool extend_available = false;
  bool extended = false;
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
