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
  // Only where the desktop can gain a monitor.
  if (state.extend_available) {
    monitor_items.push_back(Separator());
    TrayMenuItem extend = Command("Extend the desktop", kTrayExtend);
    extend.checkable = true;
    extend.checked = state.extended;
    monitor_items.push_back(std::move(extend));
  }
  const std::vector<TrayCaptureSource>& sources = state.capture_sources;
  // Choosing the first source explicitly is what Auto does first, so Auto shows checked.
  bool other_chosen = false;
  std::vector<TrayMenuItem> backend_items{Command("", kTrayBackendAuto)};
  for (size_t index = 1; index < sources.size(); ++index) {
    const bool chosen = sources[index].name == state.capture_choice;
    other_chosen = other_chosen || chosen;
    backend_items.push_back(Choice("Backend: " + sources[index].title,
                                   kTrayBackendOthersFirst + static_cast<uint32_t>(index - 1),
                                   chosen, sources[index].available));
  }
  backend_items[0] =
      Choice(sources.empty() ? "Backend: Auto" : "Backend: Auto (" + sources[0].title + ")",
             kTrayBackendAuto, !other_chosen);
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
