#include "app/tray_actions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "session/host_session.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using testing::TempFolder;
using testing::WaitUntil;

// A real session waiting for clients on free ports, published as the active one.
class RunningSession {
 public:
  RunningSession(AppState& state, const TempFolder& trust_folder) {
    SessionEnvironment environment;
    environment.trust.folder = [folder = trust_folder.path()] { return folder; };
    session_ = std::make_shared<HostSession>(environment);
    HostOptions options;
    options.control_port = testing::FreeTcpPort();
    options.media_port = testing::FreeUdpPort();
    options.input_port = testing::FreeUdpPort();
    initialized_ = session_->Initialize(options);
    runner_ = std::thread([this] {
      session_->Run();
      ended_ = true;
    });
    state.active_session.Publish(session_);
  }
  ~RunningSession() {
    session_->RequestStop();
    runner_.join();
  }

  bool initialized() const { return initialized_; }
  bool Ended() const {
    return WaitUntil([this] { return ended_.load(); });
  }
  bool StillRunning() const {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return !ended_.load();
  }

 private:
  std::shared_ptr<HostSession> session_;
  bool initialized_ = false;
  std::atomic<bool> ended_{false};
  std::thread runner_;
};

class TrayActionsTest : public ::testing::Test {
 protected:
  TrayActionsTest() {
    TrayActionServices services;
    services.notify = [this](const std::string& text) { notices_.push_back(text); };
    services.prepare_usb_route = [this] { return usb_works_; };
    services.open_console = [this] { ++console_opened_; };
    // A desktop of two monitors that gains a third while extended, when it allows it.
    services.add_extended_display = [this]() -> std::optional<uint32_t> {
      if (!desktop_grows_) {
        return std::nullopt;
      }
      monitors_ = 3;
      return 2;
    };
    services.remove_extended_display = [this] { monitors_ = 2; };
    services.count_monitors = [this] { return monitors_; };
    actions_ = MakeTrayActions(state_, std::move(services));
  }

  std::unique_ptr<RunningSession> StartSession() {
    auto session = std::make_unique<RunningSession>(state_, trust_folder_);
    EXPECT_TRUE(session->initialized());
    return session;
  }

  TempFolder trust_folder_{"orvane-tray-actions"};
  AppState state_;
  TrayActions actions_;
  std::vector<std::string> notices_;
  bool usb_works_ = true;
  int console_opened_ = 0;
  bool desktop_grows_ = true;
  uint32_t monitors_ = 2;
};

TEST_F(TrayActionsTest, ExitStopsTheSessionAndTheProcessWithoutRelaunch) {
  auto session = StartSession();
  actions_.exit();
  EXPECT_TRUE(session->Ended());
  EXPECT_TRUE(state_.shutdown_requested.load());
  EXPECT_FALSE(state_.relaunch_on_console_close.load());
  EXPECT_TRUE(notices_.empty());
}

TEST_F(TrayActionsTest, DisconnectStopsTheSessionOnlyWhenAClientIsConnected) {
  auto session = StartSession();
  actions_.disconnect();
  EXPECT_TRUE(session->StillRunning());
  state_.client_connected = true;
  actions_.disconnect();
  EXPECT_TRUE(session->Ended());
  EXPECT_FALSE(state_.shutdown_requested.load());

  state_.active_session.Clear();
  actions_.disconnect();
  EXPECT_EQ(notices_, (std::vector<std::string>{"No active client to disconnect.",
                                                "Active client disconnected.",
                                                "No active client to disconnect."}));
}

TEST_F(TrayActionsTest, MonitorSelectionAppliesToTheNextSession) {
  state_.monitor_count = 2;
  actions_.select_monitor(1);
  EXPECT_EQ(state_.capture_output_index.load(), 1u);

  auto session = StartSession();
  actions_.select_monitor(0);
  EXPECT_TRUE(session->Ended());
  EXPECT_EQ(state_.capture_output_index.load(), 0u);
  state_.active_session.Clear();

  actions_.select_monitor(2);
  EXPECT_EQ(state_.capture_output_index.load(), 0u);
  // No monitors counted still leaves the first one.
  state_.monitor_count = 0;
  actions_.select_monitor(0);
  EXPECT_EQ(notices_, (std::vector<std::string>{
                          "Capture source updated for next stream.",
                          "Capture source updated. Reconnecting stream with new monitor.",
                          "Selected monitor is unavailable on this system.",
                          "Capture source updated for next stream.",
                      }));
}

TEST_F(TrayActionsTest, BackendSelectionAppliesToTheNextSession) {
  actions_.select_backend("wgc", "WGC (Beta)");
  EXPECT_EQ(state_.capture_backend.load(), "wgc");
  actions_.select_backend("auto", "Auto");
  EXPECT_EQ(state_.capture_backend.load(), "auto");
  {
    auto session = StartSession();
    actions_.select_backend("wgc", "WGC (Beta)");
    EXPECT_TRUE(session->Ended());
    EXPECT_EQ(state_.capture_backend.load(), "wgc");
  }
  {
    auto session = StartSession();
    actions_.select_backend("auto", "Auto");
    EXPECT_TRUE(session->Ended());
  }
  EXPECT_EQ(notices_, (std::vector<std::string>{
                          "Capture backend set to WGC (Beta).",
                          "Capture backend set to Auto.",
                          "Capture backend set to WGC (Beta). Reconnecting stream.",
                          "Capture backend set to Auto. Reconnecting stream.",
                      }));
}

// The extended display is streamed while it is there; afterwards the monitor streamed
// before it is again. A running stream restarts on it; a refusal changes nothing.
TEST_F(TrayActionsTest, ExtendingStreamsTheNewDisplayAndRemovingItTheOldOne) {
  state_.monitor_count = 2;
  state_.capture_output_index = 1;
  {
    auto session = StartSession();
    const TrayExtendOutcome added = actions_.set_extended(true);
    EXPECT_TRUE(session->Ended());
    EXPECT_TRUE(added.extended);
    EXPECT_EQ(added.output_index, 2u);
    EXPECT_EQ(added.monitor_count, 3u);
    EXPECT_EQ(state_.capture_output_index.load(), 2u);
  }
  state_.active_session.Clear();
  const TrayExtendOutcome removed = actions_.set_extended(false);
  EXPECT_FALSE(removed.extended);
  EXPECT_EQ(removed.output_index, 1u);
  EXPECT_EQ(state_.monitor_count.load(), 2u);

  desktop_grows_ = false;
  const TrayExtendOutcome refused = actions_.set_extended(true);
  EXPECT_FALSE(refused.extended);
  EXPECT_EQ(refused.output_index, 1u);
  EXPECT_EQ(notices_, (std::vector<std::string>{
                          "Desktop extended. Reconnecting stream with the new display.",
                          "Extended display removed.",
                          "The desktop cannot be extended here. The log says why.",
                      }));
}

TEST_F(TrayActionsTest, UsbSetupReportsItsOutcome) {
  actions_.usb_setup();
  usb_works_ = false;
  actions_.usb_setup();
  EXPECT_EQ(notices_, (std::vector<std::string>{
                          "USB connection prepared.",
                          "USB setup failed. Check cable, adb, and device authorization.",
                      }));
}

TEST_F(TrayActionsTest, OpenShowsTheConsole) {
  actions_.open_console();
  EXPECT_EQ(console_opened_, 1);
  EXPECT_TRUE(notices_.empty());
}

}  // namespace
}  // namespace orvane
