#include "app/tray_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using Kind = TrayMenuItem::Kind;

// One line per item: "text #id" with [grey] and [x] (checked) marks, "--" for a
// separator, "text >" before a submenu's indented children.
void Describe(const std::vector<TrayMenuItem>& items, const std::string& indent,
              std::vector<std::string>& lines) {
  for (const TrayMenuItem& item : items) {
    switch (item.kind) {
      case Kind::kSeparator:
        lines.push_back(indent + "--");
        break;
      case Kind::kSubmenu:
        lines.push_back(indent + item.text + " >");
        Describe(item.children, indent + "  ", lines);
        break;
      case Kind::kCommand:
        lines.push_back(indent + item.text + " #" + std::to_string(item.id) +
                        (item.enabled ? "" : " [grey]") + (item.checked ? " [x]" : ""));
        break;
    }
  }
}

std::vector<std::string> Describe(const TrayMenuState& state) {
  std::vector<std::string> lines;
  Describe(BuildTrayMenu(state), "", lines);
  return lines;
}

// What the Windows host offers: WGC's title says whether the machine has it.
std::vector<TrayCaptureSource> WindowsSources(bool wgc_available = true) {
  return {{"dxgi", "DXGI", true},
          {"wgc", wgc_available ? "WGC (Beta)" : "WGC (Unavailable)", wgc_available}};
}

TEST(TrayMenuTest, OneMonitorNoClientWgcAvailable) {
  TrayMenuState state;
  state.capture_sources = WindowsSources();
  state.tooltip = "Orvane Display - Waiting for client...";
  EXPECT_EQ(Describe(state), (std::vector<std::string>{
                                 "Orvane Display - Waiting for client... #1001 [grey]",
                                 "--",
                                 "Open #1002",
                                 "Disconnect (No active client) #1003 [grey]",
                                 "--",
                                 "USB Connection Setup #1005",
                                 "Capture Source >",
                                 "  Monitor 1 (Primary) #1006 [x]",
                                 "  Monitor 2 #1007 [grey]",
                                 "  Monitor 3 #1008 [grey]",
                                 "  Monitor 4 #1009 [grey]",
                                 "Capture Backend >",
                                 "  Backend: Auto (DXGI) #1010 [x]",
                                 "  Backend: WGC (Beta) #1011",
                                 "--",
                                 "Exit #1004",
                             }));
}

TEST(TrayMenuTest, StateDecidesTextsGreyAndChecks) {
  TrayMenuState state;
  state.tooltip = "Orvane Display - Connected (192.168.1.20)";
  state.connected = true;
  state.output_index = 2;
  state.monitor_count = 3;
  state.capture_sources = WindowsSources();
  state.capture_choice = "wgc";
  const std::vector<std::string> lines = Describe(state);
  EXPECT_EQ(lines[0], "Orvane Display - Connected (192.168.1.20) #1001 [grey]");
  EXPECT_EQ(lines[3], "Disconnect #1003");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 7, lines.begin() + 11),
            (std::vector<std::string>{"  Monitor 1 (Primary) #1006", "  Monitor 2 #1007",
                                      "  Monitor 3 #1008 [x]", "  Monitor 4 #1009 [grey]"}));
  EXPECT_EQ(lines[12], "  Backend: Auto (DXGI) #1010");
  EXPECT_EQ(lines[13], "  Backend: WGC (Beta) #1011 [x]");

  state.capture_sources = WindowsSources(false);
  EXPECT_EQ(Describe(state)[13], "  Backend: WGC (Unavailable) #1011 [grey] [x]");

  // No monitors counted is one monitor.
  state.monitor_count = 0;
  EXPECT_EQ(Describe(state)[7], "  Monitor 1 (Primary) #1006");
  EXPECT_EQ(Describe(state)[8], "  Monitor 2 #1007 [grey]");
}

TEST(TrayMenuTest, BackendEntriesFollowThePlatformsSources) {
  struct Case {
    std::vector<TrayCaptureSource> sources;
    std::string choice;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {{{"x11shm", "X11 MIT-SHM", true}}, "auto", {"  Backend: Auto (X11 MIT-SHM) #1010 [x]"}},
      // The first source chosen by name is what Auto starts with.
      {WindowsSources(),
       "dxgi",
       {"  Backend: Auto (DXGI) #1010 [x]", "  Backend: WGC (Beta) #1011"}},
      {{{"a", "A", true}, {"b", "B", true}, {"c", "C", true}},
       "c",
       {"  Backend: Auto (A) #1010", "  Backend: B #1011", "  Backend: C #1012 [x]"}},
  };
  for (const Case& c : cases) {
    TrayMenuState state;
    state.capture_sources = c.sources;
    state.capture_choice = c.choice;
    const std::vector<std::string> lines = Describe(state);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 12, lines.end() - 2), c.entries);
  }
}

// Where the desktop can gain a monitor, the monitor choice ends with "Extend the desktop",
// checked while the extended display is there.
TEST(TrayMenuTest, ExtendingIsOfferedBesideTheMonitorsWhereTheDesktopCanGrow) {
  TrayMenuState state;
  state.capture_sources = {{"x11shm", "X11 MIT-SHM", true}};
  state.monitor_count = 2;
  state.output_index = 1;
  state.extend_available = true;
  std::vector<std::string> lines = Describe(state);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 10, lines.begin() + 14),
            (std::vector<std::string>{"  Monitor 4 #1009 [grey]", "  --",
                                      "  Extend the desktop #1100", "Capture Backend >"}));
  state.extended = true;
  EXPECT_EQ(Describe(state)[12], "  Extend the desktop #1100 [x]");
}

TEST(TrayMenuTest, MonitorAndBackendEntriesAreChoicesOthersAreNot) {
  TrayMenuState state;
  state.capture_sources = WindowsSources();
  state.extend_available = true;
  for (const TrayMenuItem& item : BuildTrayMenu(state)) {
    EXPECT_FALSE(item.checkable) << item.text;
    for (const TrayMenuItem& child : item.children) {
      EXPECT_TRUE(child.checkable || child.kind == Kind::kSeparator) << child.text;
    }
  }
}

}  // namespace
}  // namespace orvane
