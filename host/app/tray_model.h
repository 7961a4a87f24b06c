#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/tray_menu.h"

namespace orvane {

// What the desktop is like after "Extend the desktop" was chosen.
struct TrayExtendOutcome {
  bool extended = false;
  uint32_t output_index = 0;  // the monitor streamed now
  uint32_t monitor_count = 1;
};

// What the tray's commands do; each runs on the tray thread and may be empty.
struct TrayActions {
  std::function<void()> open_console;
  std::function<void()> exit;
  std::function<void()> disconnect;
  std::function<void()> usb_setup;
  std::function<void(uint32_t index)> select_monitor;
  // `name` is a capture source's or "auto"; `title` how the menu showed it.
  std::function<void(const std::string& name, const std::string& title)> select_backend;
  // Adds (true) or removes the extended display; says what the desktop has afterwards.
  std::function<TrayExtendOutcome(bool extend)> set_extended;
};

// The tray apart from how a desktop draws it: the state its menu shows and the commands
// the menu sends. State may change from any thread; commands arrive on the tray thread.
class TrayModel {
 public:
  // The shell's tooltip holds 128 wide characters with the terminator.
  static constexpr size_t kTooltipCharacters = 127;
  static constexpr const char* kStartingTooltip = "Orvane Display - Starting...";

  void SetActions(TrayActions actions);
  // Longer texts are cut to kTooltipCharacters characters, never rejected.
  void SetTooltip(const std::string& text);
  void SetConnected(bool connected);
  void SetOutputIndex(uint32_t index);
  void SetMonitorCount(uint32_t count);
  void SetCaptureSources(std::vector<TrayCaptureSource> sources);
  void SetCaptureChoice(const std::string& name);
  void SetExtend(bool available, bool extended);

  std::string Tooltip() const;
  TrayMenuState State() const;
  std::vector<TrayMenuItem> Menu() const { return BuildTrayMenu(State()); }

  // Runs the menu command `id`; false when the command was ignored (an id outside
  // the menu's commands, a greyed entry, an unset action).
  bool HandleCommand(uint32_t id);
  // A click on the icon itself opens the console.
  bool Activate() { return HandleCommand(kTrayOpen); }

 private:
  mutable std::mutex mutex_;
  TrayMenuState state_{.tooltip = kStartingTooltip};
  TrayActions actions_;
};

// `text` cut after `characters` UTF-8 characters (never inside one).
std::string CutToCharacters(const std::string& text, size_t characters);

}  // namespace orvane
