#include "app/tray_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

// A model whose actions record what ran.
class TrayModelTest : public ::testing::Test {
 protected:
  TrayModelTest() {
    TrayActions actions;
    actions.open_console = [this] { ran_.push_back("open"); };
    actions.exit = [this] { ran_.push_back("exit"); };
    actions.disconnect = [this] { ran_.push_back("disconnect"); };
    actions.usb_setup = [this] { ran_.push_back("usb"); };
    actions.select_monitor = [this](uint32_t index) {
      ran_.push_back("monitor " + std::to_string(index));
    };
    actions.select_backend = [this](const std::string& name, const std::string& title) {
      ran_.push_back(name + " " + title);
    };
    model_.SetActions(std::move(actions));
    SetWgcAvailable(true);
  }

  void SetWgcAvailable(bool available) {
    model_.SetCaptureSources({{"dxgi", "DXGI", true},
                              {"wgc", available ? "WGC (Beta)" : "WGC (Unavailable)", available}});
  }

  TrayModel model_;
  std::vector<std::string> ran_;
};

TEST_F(TrayModelTest, CommandsRunTheirActionsOrAreIgnored) {
  struct Case {
    const char* name;
    uint32_t monitors;
    bool connected;
    bool wgc_available;
    uint32_t id;
    const char* ran;  // nullptr: ignored
  };
  const Case cases[] = {
      {"open", 1, false, true, 1002, "open"},
      {"disconnect without client", 1, false, true, 1003, nullptr},
      {"disconnect", 1, true, true, 1003, "disconnect"},
      {"exit", 1, false, true, 1004, "exit"},
      {"usb", 1, false, true, 1005, "usb"},
      {"monitor 1", 1, false, true, 1006, "monitor 0"},
      {"monitor 2 of one", 1, false, true, 1007, nullptr},
      {"monitor 2 of none counted", 0, false, true, 1007, nullptr},
      {"monitor 2 of two", 2, false, true, 1007, "monitor 1"},
      {"monitor 4 of three", 3, false, true, 1009, nullptr},
      {"monitor 4 of four", 4, false, true, 1009, "monitor 3"},
      {"auto", 1, false, true, 1010, "auto Auto"},
      {"wgc", 1, false, true, 1011, "wgc WGC (Beta)"},
      {"wgc unavailable", 1, false, false, 1011, nullptr},
      {"caption", 4, true, true, 1001, nullptr},
      {"below", 4, true, true, 1000, nullptr},
      {"above", 4, true, true, 1012, nullptr},
      {"zero", 4, true, true, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ran_.clear();
    model_.SetMonitorCount(c.monitors);
    model_.SetConnected(c.connected);
    SetWgcAvailable(c.wgc_available);
    EXPECT_EQ(model_.HandleCommand(c.id), c.ran != nullptr);
    EXPECT_EQ(ran_, c.ran ? std::vector<std::string>{c.ran} : std::vector<std::string>{});
  }
}

TEST_F(TrayModelTest, ChoicesShowInTheNextMenu) {
  model_.SetMonitorCount(2);
  model_.HandleCommand(1007);
  model_.HandleCommand(1011);
  TrayMenuState state = model_.State();
  EXPECT_EQ(state.output_index, 1u);
  EXPECT_EQ(state.capture_choice, "wgc");
  EXPECT_TRUE(model_.Menu()[7].children[1].checked);

  // Ignored commands change nothing.
  SetWgcAvailable(false);
  model_.HandleCommand(1010);
  model_.HandleCommand(1011);
  model_.HandleCommand(1009);
  state = model_.State();
  EXPECT_EQ(state.capture_choice, "auto");
  EXPECT_EQ(state.output_index, 1u);
}

// "Extend the desktop" asks for the opposite of what the menu shows and then shows what the
// desktop has: the display, the monitor streamed and the monitors to choose from.
TEST_F(TrayModelTest, ExtendingAsksForTheOppositeAndShowsTheOutcome) {
  std::vector<bool> asked;
  TrayActions actions;
  actions.set_extended = [&asked](bool extend) {
    asked.push_back(extend);
    return extend ? TrayExtendOutcome{true, 2, 3} : TrayExtendOutcome{false, 0, 2};
  };
  model_.SetActions(std::move(actions));
  EXPECT_FALSE(model_.HandleCommand(kTrayExtend));  // not offered on this desktop

  model_.SetExtend(true, false);
  ASSERT_TRUE(model_.HandleCommand(kTrayExtend));
  TrayMenuState state = model_.State();
  EXPECT_TRUE(state.extended);
  EXPECT_EQ(state.output_index, 2u);
  EXPECT_EQ(state.monitor_count, 3u);
  ASSERT_TRUE(model_.HandleCommand(kTrayExtend));
  EXPECT_EQ(asked, (std::vector<bool>{true, false}));
  state = model_.State();
  EXPECT_FALSE(state.extended);
  EXPECT_EQ(state.output_index, 0u);
  EXPECT_EQ(state.monitor_count, 2u);
}

TEST_F(TrayModelTest, AClickOnTheIconOpensTheConsole) {
  EXPECT_TRUE(model_.Activate());
  EXPECT_EQ(ran_, std::vector<std::string>{"open"});
}

TEST(TrayModelActionsTest, UnsetActionsAreIgnored) {
  TrayModel model;
  model.SetConnected(true);
  model.SetCaptureSources({{"dxgi", "DXGI", true}, {"wgc", "WGC (Beta)", true}});
  for (uint32_t id = 1002; id <= 1011; ++id) {
    EXPECT_FALSE(model.HandleCommand(id)) << id;
  }
  EXPECT_EQ(model.State().output_index, 0u);
  EXPECT_EQ(model.State().capture_choice, "auto");
}

TEST(TrayTooltipTest, LongTextsAreCutTo127CharactersNotRejected) {
  TrayModel model;
  EXPECT_EQ(model.Tooltip(), "Orvane Display - Starting...");
  model.SetTooltip(std::string(200, 'a'));
  EXPECT_EQ(model.Tooltip(), std::string(127, 'a'));
  EXPECT_EQ(model.Menu()[0].text, std::string(127, 'a'));

  // Characters, not bytes: a multi-byte character is never split.
  const std::string e_acute = "\xC3\xA9";
  std::string accented;
  for (int i = 0; i < 130; ++i) {
    accented += e_acute;
  }
  model.SetTooltip(accented);
  EXPECT_EQ(model.Tooltip(), accented.substr(0, 127 * e_acute.size()));
  model.SetTooltip("short");
  EXPECT_EQ(model.Tooltip(), "short");
}

}  // namespace
}  // namespace orvane
