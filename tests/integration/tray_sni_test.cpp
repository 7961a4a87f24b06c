#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "client/client_identity.h"
#include "client/control_client.h"
#include "integration/dbus_session.h"
#include "integration/host_process.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
namespace pb = protocol::v1;
using namespace std::chrono_literals;

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";

std::string StringOf(GVariant* value) {
  if (value == nullptr) {
    return "<none>";
  }
  std::string text = g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) ||
                             g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH)
                         ? g_variant_get_string(value, nullptr)
                         : "<" + std::string(g_variant_get_type_string(value)) + ">";
  g_variant_unref(value);
  return text;
}

// One line per layout entry, as a person would read the menu: the label, "#id", and
// [grey] / [x] marks; "--" for separators, children indented under "label >".
void DescribeLayout(GVariant* layout, const std::string& indent, std::vector<std::string>& lines) {
  gint32 id = 0;
  GVariant* properties = nullptr;
  GVariant* children = nullptr;
  g_variant_get(layout, "(i@a{sv}@av)", &id, &properties, &children);
  const char* label = nullptr;
  const char* type = nullptr;
  const char* display = nullptr;
  gboolean enabled = TRUE;
  gint32 toggle = 0;
  g_variant_lookup(properties, "label", "&s", &label);
  g_variant_lookup(properties, "type", "&s", &type);
  g_variant_lookup(properties, "children-display", "&s", &display);
  g_variant_lookup(properties, "enabled", "b", &enabled);
  g_variant_lookup(properties, "toggle-state", "i", &toggle);
  std::string child_indent = indent;
  if (type != nullptr && std::string(type) == "separator") {
    lines.push_back(indent + "--");
  } else if (display != nullptr && label != nullptr) {
    lines.push_back(indent + label + " >");
    child_indent += "  ";
  } else if (label != nullptr) {
    lines.push_back(indent + label + " #" + std::to_string(id) + (enabled ? "" : " [grey]") +
                    (toggle == 1 ? " [x]" : ""));
  }
  GVariantIter iter;
  g_variant_iter_init(&iter, children);
  GVariant* child = nullptr;
  while (g_variant_iter_next(&iter, "v", &child)) {
    DescribeLayout(child, child_indent, lines);
    g_variant_unref(child);
  }
  g_variant_unref(properties);
  g_variant_unref(children);
}

// The real host on a private session bus, with a fake desktop around it.
class TraySniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
    port_ = FreeTcpPort();
    // The "Open" entry shows the log through xdg-open; this one notes what it was given.
    fs::create_directories(home_ / "bin");
    const fs::path opener = home_ / "bin" / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\necho \"$1\" >> '" << (home_ / "opened.txt").string()
                          << "'\n";
    fs::permissions(opener, fs::perms::owner_all);
  }

  void StartHost(bool with_watcher, bool with_notifications) {
    desktop_ = std::make_unique<FakeDesktop>(bus_.address(), with_watcher, with_notifications);
    ASSERT_TRUE(desktop_->ready());
    host_ = std::make_unique<HostProcess>(
        std::vector<std::string>{"--control-port", std::to_string(port_), "--media-port",
                                 std::to_string(FreeUdpPort()), "--input-port",
                                 std::to_string(FreeUdpPort())},
        home_, HostProcess::Environment{{"DBUS_SESSION_BUS_ADDRESS", bus_.address()}});
    ASSERT_TRUE(host_->WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  }

  std::string ItemName() const { return desktop_->RegisteredItems().at(0); }
  std::string ItemProperty(const char* name) {
    return StringOf(client_.Property(ItemName(), kItemPath, kItemInterface, name));
  }
  std::string TooltipTitle() {
    GVariant* tooltip = client_.Property(ItemName(), kItemPath, kItemInterface, "ToolTip");
    if (tooltip == nullptr) {
      return "<none>";
    }
    const char* title = nullptr;
    g_variant_get(tooltip, "(&sa(iiay)&ss)", nullptr, nullptr, &title, nullptr);
    const std::string text = title;
    g_variant_unref(tooltip);
    return text;
  }
  std::vector<std::string> Menu() {
    GVariant* reply = client_.Call(ItemName(), kMenuPath, kMenuInterface, "GetLayout",
                                   g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
    std::vector<std::string> lines;
    if (reply != nullptr) {
      GVariant* layout = nullptr;
      g_variant_get(reply, "(u@(ia{sv}av))", nullptr, &layout);
      DescribeLayout(layout, "", lines);
      g_variant_unref(layout);
      g_variant_unref(reply);
    }
    return lines;
  }
  bool Click(int32_t id) {
    GVariant* reply =
        client_.Call(ItemName(), kMenuPath, kMenuInterface, "Event",
                     g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
    if (reply == nullptr) {
      return false;
    }
    g_variant_unref(reply);
    return true;
  }

  std::unique_ptr<client::ControlClient> Connect() {
    auto control = std::make_unique<client::ControlClient>();
    EXPECT_TRUE(control->Connect("127.0.0.1", port_)) << control->last_error();
    return control;
  }

  TempFolder temp_{"orvane-tray"};
  const fs::path home_ = temp_.path();
  DbusDaemon bus_{temp_.path()};
  BusClient client_{bus_.address()};
  uint16_t port_ = 0;
  std::unique_ptr<FakeDesktop> desktop_;
  std::unique_ptr<HostProcess> host_;
};

TEST_F(TraySniTest, TheItemRegistersShowsItsStateAndExitEndsTheHost) {
  StartHost(true, true);
  ASSERT_TRUE(WaitUntil([&] { return !desktop_->RegisteredItems().empty(); }, 10s));
  EXPECT_EQ(desktop_->RegisteredItems().size(), 1u);
  EXPECT_EQ(ItemName().rfind("org.kde.StatusNotifierItem-", 0), 0u) << ItemName();
  EXPECT_TRUE(host_->WaitForOutput("[Tray] System tray icon created"));

  EXPECT_EQ(ItemProperty("Title"), "Orvane Display");
  EXPECT_EQ(ItemProperty("Status"), "Active");
  EXPECT_EQ(ItemProperty("Menu"), "/MenuBar");
  EXPECT_EQ(ItemProperty("IconName"), "orvane-display");
  EXPECT_TRUE(fs::is_regular_file(fs::path(ItemProperty("IconThemePath")) / "hicolor" / "scalable" /
                                  "apps" / "orvane-display.svg"));
  EXPECT_TRUE(
      WaitUntil([&] { return TooltipTitle() == "Orvane Display - Waiting for client..."; }));

  EXPECT_EQ(Menu(), (std::vector<std::string>{
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
                        "  --",
                        "  Extend the desktop #1100",
                        "Capture Backend >",
                        "  Backend: Auto (X11 MIT-SHM) #1010 [x]",
                        "  Backend: Wayland (ScreenCast portal) #1011",
                        "  Backend: Wayland (GNOME Mutter) #1012",
                        "--",
                        "Exit #1004",
                    }));

  // The tooltip and the menu follow the client.
  auto control = Connect();
  ASSERT_TRUE(
      WaitUntil([&] { return TooltipTitle() == "Orvane Display - Connected (127.0.0.1)"; }));
  EXPECT_EQ(Menu()[3], "Disconnect #1003");
  control->Close();
  EXPECT_TRUE(
      WaitUntil([&] { return TooltipTitle() == "Orvane Display - Waiting for client..."; }));

  // A greyed monitor is ignored; "Open" brings the day's log into view.
  EXPECT_TRUE(Click(1007));
  EXPECT_TRUE(Click(1002));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(home_ / "opened.txt"); }));
  const std::string opened = ReadFile(home_ / "opened.txt");
  EXPECT_NE(opened.find((home_ / "state" / "OrvaneDisplay" / "logs" / "orvane_").string()),
            std::string::npos)
      << opened;
  // A click on the icon itself does the same.
  GVariant* activated =
      client_.Call(ItemName(), kItemPath, kItemInterface, "Activate", g_variant_new("(ii)", 0, 0));
  ASSERT_NE(activated, nullptr);
  g_variant_unref(activated);
  EXPECT_TRUE(WaitUntil([&] {
    const std::string text = ReadFile(home_ / "opened.txt");
    return std::count(text.begin(), text.end(), '\n') == 2;
  }));
  EXPECT_EQ(Menu()[7], "  Monitor 1 (Primary) #1006 [x]");
  // Tests give the host no system bus, so local discovery fails and says so; nothing else
  // was announced.
  ASSERT_EQ(desktop_->Notifications().size(), 1u);
  EXPECT_EQ(desktop_->Notifications()[0].body,
            "Local discovery is unavailable. Use manual host IP on mobile.");

  EXPECT_TRUE(Click(1004));
  EXPECT_EQ(host_->WaitForExit(15s), 0);
  EXPECT_NE(host_->Output().find("[Main] Shutdown complete."), std::string::npos);
  EXPECT_EQ(host_->Output().find("[Main] Session ended. Reconnecting"), std::string::npos);
}

TEST_F(TraySniTest, WithoutAWatcherThePairingCodeStillArrivesAsANotification) {
  StartHost(false, true);
  EXPECT_TRUE(host_->WaitForOutput(
      "[Tray] No StatusNotifierWatcher on the session bus; running without a tray icon"));

  auto control = Connect();
  ASSERT_TRUE(control->SendHello({"tray-device", "Tray tablet"}));
  const auto ack = control->ReceiveUntil(pb::ControlMessage::kHelloAck, 5s);
  ASSERT_TRUE(ack && ack->hello_ack().result() == pb::AUTH_RESULT_PAIRING_REQUIRED);
  // The first notification says that discovery failed (tests give the host no system bus).
  ASSERT_TRUE(WaitUntil([&] { return desktop_->Notifications().size() == 2; }));

  const std::string code =
      ReadFile(home_ / "config" / "OrvaneDisplay" / "active_pairing_code.txt").substr(0, 6);
  const FakeDesktop::Notification notice = desktop_->Notifications().at(1);
  EXPECT_EQ(notice.app_name, "Orvane Display");
  EXPECT_EQ(notice.summary, "Orvane Display");
  EXPECT_EQ(notice.body, "Pairing code: " + code + ". Enter this code on your mobile device.");
  EXPECT_TRUE(notice.app_icon.ends_with("orvane-display.svg")) << notice.app_icon;

  host_->Signal(SIGINT);
  EXPECT_EQ(host_->WaitForExit(), 0);
  const std::string output = host_->Output();
  size_t tray_lines = 0;
  for (size_t at = output.find("[Tray]"); at != std::string::npos;
       at = output.find("[Tray]", at + 1)) {
    ++tray_lines;
  }
  EXPECT_EQ(tray_lines, 1u) << output;
}

TEST(TrayWithoutBusTest, TheHostRunsOnAfterOneLine) {
  TempFolder home("orvane-tray");
  HostProcess host({"--control-port", std::to_string(FreeTcpPort()), "--media-port",
                    std::to_string(FreeUdpPort()), "--input-port", std::to_string(FreeUdpPort())},
                   home.path());
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  EXPECT_NE(host.Output().find("[INFO ] [Tray] Session bus unavailable ("), std::string::npos);
  host.Signal(SIGINT);
  EXPECT_EQ(host.WaitForExit(), 0);
}

}  // namespace
}  // namespace orvane::testing
