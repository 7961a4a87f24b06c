#include "app/tray_menu.h"

#include <algorithm>

namespace orvane {
namespace {

TrayMenuItem Command(std::string text, uint32_t id, bool enabled = true) {
  TrayMenuItem item;
  item.text = std::move(text);
  item.id = id;
  item.enabled = enabled;
  return item;
}

TrayMenuItem Choice(std::string text, uint32_t id, bool checked, bool enabled = true) {
  TrayMenuItem item = Command(std::move(text), id, enabled);
  item.checkable = true;
  item.checked = checked;
  return item;
}

TrayMenuItem Separator() {
  TrayMenuItem item;
  item.kind = TrayMenuItem::Kind::kSeparator;
  return item;
}

TrayMenuItem Submenu(std::string text, std::vector<TrayMenuItem> children) {
  TrayMenuItem item;
  item.kind = TrayMenuItem::Kind::kSubmenu;
  item.text = std::move(text);
  item.children = std::move(children);
  return item;
}

}  // namespace

std::vector<TrayMenuItem> BuildTrayMenu(const TrayMenuState& state) {
  const uint32_t monitors = std::max<uint32_t>(state.monitor_count, 1);
  std::vector<TrayMenuItem> monitor_items;
  for (uint32_t index = 0; index < 4; ++index) {
    const std::string text =
        index == 0 ? "Monitor 1 (Primary)" : "Monitor " + std::to_string(index + 1);
    monitor_items.push_back(
        Choice(text, kTrayMonitorFirst + index, state.output_index == index, index < monitors));
  }
  std::vector<TrayMenuItem> backend_items{
      Choice("Backend: Auto (DXGI)", kTrayBackendAuto, !state.wgc_selected),
      Choice(state.wgc_available ? "Backend: WGC (Beta)" : "Backend: WGC (Unavailable)",
             kTrayBackendWgc, state.wgc_selected, state.wgc_available),
  };
  return {
      Command(state.tooltip, kTrayCaption, false),
      Separator(),
      Command("Open", kTrayOpen),
      Command(state.connected ? "Disconnect" : "Disconnect (No active client)", kTrayDisconnect,
              state.connected),
      Separator(),
      Command("USB Connection Setup", kTrayUsbSetup),
      Submenu("Capture Source", std::move(monitor_items)),
      Submenu("Capture Backend", std::move(backend_items)),
      Separator(),
      Command("Exit", kTrayExit),
  };
}

}  // namespace orvane
