#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/reconnect_loop.h"
#include "app/tray_actions.h"
#include "client/client_identity.h"
#include "client/control_client.h"
#include "security/trust_store.h"
#include "session/host_session.h"
#include "session/session_fakes.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

// The monitors that the streams' capturers were asked for, in order.
class MonitorLog {
 public:
  void Add(uint32_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    monitors_.push_back(index);
  }
  std::vector<uint32_t> Monitors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return monitors_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> monitors_;
};

class MonitorRecordingCapturer : public StillCapturer {
 public:
  explicit MonitorRecordingCapturer(std::shared_ptr<MonitorLog> log) : log_(std::move(log)) {}
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override {
    log_->Add(output_index);
    return StillCapturer::Initialize(output_index, width, height);
  }

 private:
  std::shared_ptr<MonitorLog> log_;
};

// Shows nothing; keeps the tooltips it was asked to show.
class TooltipRecordingShell : public TrayShell {
 public:
  explicit TooltipRecordingShell(std::vector<std::string>& tooltips, std::mutex& mutex)
      : tooltips_(tooltips), mutex_(mutex) {}
  void Start(TrayModel& model) override { model_ = &model; }
  void Stop() override {}
  void RefreshTooltip() override {
    std::lock_guard<std::mutex> lock(mutex_);
    tooltips_.push_back(model_->Tooltip());
  }
  void ShowNotification(const std::string&, const std::string&) override {}

 private:
  std::vector<std::string>& tooltips_;
  std::mutex& mutex_;
  TrayModel* model_ = nullptr;
};

// Listens on a port, as another host would, until released.
class PortHolder {
 public:
  bool Hold(uint16_t port) {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    return socket_ != kInvalidSocket &&
           bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
           listen(socket_, 1) == 0;
  }
  void Release() {
    if (socket_ != kInvalidSocket) {
      CloseSocket(socket_);
      socket_ = kInvalidSocket;
    }
  }
  ~PortHolder() { Release(); }

 private:
  SocketHandle socket_ = kInvalidSocket;
};

// The host's reconnect loop in this process, with fakes for capture and encoding and a
// tray that records its tooltips.
class TrayReconnectTest : public ::testing::Test {
 protected:
  TrayReconnectTest() {
    environment_.trust.folder = [folder = temp_.path()] { return folder; };
    environment_.platform.video_encoder = [record = encoders_] {
      return std::make_unique<RecordingEncoder>(record);
    };
    environment_.platform.capturers = [monitors = monitors_] {
      ScreenCapturers capturers;
      capturers.push_back(std::make_unique<MonitorRecordingCapturer>(monitors));
      return capturers;
    };
    TrustStore trust(environment_.trust);
    trust.TrustDevice(identity_.client_id, identity_.client_name);
    trust.Save();
    options_.control_port = FreeTcpPort();
    options_.media_port = FreeUdpPort();
    options_.input_port = FreeUdpPort();

    TrayActionServices services;
    services.notify = [this](const std::string& text) {
      std::lock_guard<std::mutex> lock(mutex_);
      notices_.push_back(text);
    };
    tray_.model().SetActions(MakeTrayActions(state_, std::move(services)));
    tray_.Start();
  }
  ~TrayReconnectTest() override {
    state_.RequestShutdown();
    if (const auto session = state_.active_session.Get()) {
      session->RequestStop();
    }
    if (loop_.joinable()) {
      loop_.join();
    }
  }

  void StartLoop() {
    loop_ = std::thread([this] { RunReconnectLoop(state_, options_, environment_, tray_); });
  }

  // Connects, authenticates and streams; the client stays connected.
  std::unique_ptr<client::ControlClient> StreamingClient() {
    auto control = std::make_unique<client::ControlClient>();
    if (!control->Connect("127.0.0.1", options_.control_port) || !control->SendHello(identity_)) {
      return nullptr;
    }
    const auto ack = control->ReceiveUntil(pb::ControlMessage::kHelloAck, 5s);
    if (!ack || ack->hello_ack().result() != pb::AUTH_RESULT_OK) {
      return nullptr;
    }
    pb::ControlMessage start;
    start.mutable_start_stream()->set_session_id("s");
    if (!control->Send(start, client::FrameMode::kSealedPrimary) ||
        !control->ReceiveUntil(pb::ControlMessage::kStreamStarted, 5s)) {
      return nullptr;
    }
    return control;
  }

  std::vector<std::string> Tooltips() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tooltips_;
  }

  // Sessions as the host makes them, counted; a clock that only the loop's pauses move.
  ReconnectServices CountingServices() {
    ReconnectServices services = DefaultReconnectServices(state_, environment_);
    services.make_session = [this, make = services.make_session] {
      sessions_made_.fetch_add(1);
      return make();
    };
    services.now = [this] { return clock_start_ + fake_elapsed_; };
    return services;
  }
  // Waits for the loop's first session, then ends it as a capture change would.
  void EndFirstSession() {
    ASSERT_TRUE(log_.WaitFor("[Main] Ready. Waiting for mobile client..."));
    state_.active_session.Get()->RequestStop();
  }

  std::atomic<int> sessions_made_{0};
  const std::chrono::steady_clock::time_point clock_start_ = std::chrono::steady_clock::now();
  std::chrono::milliseconds fake_elapsed_{0};
  PortHolder holder_;

  TempFolder temp_{"orvane-tray-loop"};
  LogCapture log_;
  client::ClientIdentity identity_{"tray-device", "Tray tablet"};
  std::shared_ptr<EncoderRecord> encoders_ = std::make_shared<EncoderRecord>();
  std::shared_ptr<MonitorLog> monitors_ = std::make_shared<MonitorLog>();
  SessionEnvironment environment_;
  HostOptions options_;
  AppState state_;
  mutable std::mutex mutex_;
  std::vector<std::string> tooltips_;
  std::vector<std::string> notices_;
  TrayIcon tray_{std::make_unique<TooltipRecordingShell>(tooltips_, mutex_)};
  std::thread loop_;
};

TEST_F(TrayReconnectTest, AMonitorChosenWhileStreamingIsCapturedByTheNextSession) {
  state_.monitor_count = 2;
  tray_.model().SetMonitorCount(2);
  StartLoop();
  ASSERT_TRUE(log_.WaitFor("[Main] Ready. Waiting for mobile client..."));
  auto first = StreamingClient();
  ASSERT_TRUE(first);
  // The frame loop opens the capturer once the stream has started.
  EXPECT_TRUE(WaitUntil([&] { return monitors_->Monitors() == std::vector<uint32_t>{0}; }));
  EXPECT_TRUE(state_.client_connected.load());
  EXPECT_TRUE(tray_.model().State().connected);

  // As the menu's "Monitor 2" would.
  EXPECT_TRUE(tray_.model().HandleCommand(1007));
  ASSERT_TRUE(log_.WaitFor("[Main] Session ended. Reconnecting in 2 seconds..."));
  ASSERT_TRUE(
      WaitUntil([&] { return log_.Count("[Main] Ready. Waiting for mobile client") == 2; }, 10s));
  EXPECT_FALSE(state_.client_connected.load());
  first.reset();
  auto second = StreamingClient();
  ASSERT_TRUE(second);
  EXPECT_TRUE(WaitUntil([&] { return monitors_->Monitors() == std::vector<uint32_t>{0, 1}; }));
  EXPECT_EQ(tray_.model().State().output_index, 1u);

  // As the menu's "Exit" would: no pause, no further session.
  EXPECT_TRUE(tray_.model().HandleCommand(1004));
  loop_.join();
  EXPECT_EQ(log_.Count("[Main] Session ended."), 1u);

  const std::vector<std::string> expected_start = {
      "Orvane Display - Waiting for client...",
      "Orvane Display - Waiting for client...",
      "Orvane Display - Connected (127.0.0.1)",
  };
  const std::vector<std::string> tooltips = Tooltips();
  ASSERT_GE(tooltips.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(tooltips.begin(), tooltips.begin() + 3), expected_start);
  const auto reconnecting =
      std::find(tooltips.begin(), tooltips.end(), "Orvane Display - Reconnecting...");
  ASSERT_NE(reconnecting, tooltips.end());
  EXPECT_NE(std::find(reconnecting, tooltips.end(), "Orvane Display - Connected (127.0.0.1)"),
            tooltips.end());
  std::lock_guard<std::mutex> lock(mutex_);
  EXPECT_EQ(notices_, std::vector<std::string>{
                          "Capture source updated. Reconnecting stream with new monitor."});
}

TEST_F(TrayReconnectTest, TheFirstSessionOnATakenPortEndsTheLoopAndSaysWhy) {
  ASSERT_TRUE(holder_.Hold(options_.control_port));
  ReconnectServices services = CountingServices();
  int pauses = 0;
  services.pause = [&](std::chrono::milliseconds) { ++pauses; };
  EXPECT_FALSE(RunReconnectLoop(state_, options_, tray_, services));
  EXPECT_EQ(sessions_made_.load(), 1);
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(log_.Count("[Main] Control port " + std::to_string(options_.control_port) +
                       " is taken; is another host running?"),
            1u);
  EXPECT_EQ(log_.Count("[Main] Session initialization failed"), 1u);
  EXPECT_EQ(state_.active_session.Get(), nullptr);
}

// An old connection can hold the port for a while after its session ended; the host must
// keep trying instead of exiting, and say so once a minute rather than every attempt.
TEST_F(TrayReconnectTest, ALaterSessionThatCannotBindRetriesUntilThePortIsFree) {
  ReconnectServices services = CountingServices();
  std::atomic<bool> port_released{false};
  services.make_session = [this, make = services.make_session] {
    // The second session finds the port taken.
    if (sessions_made_.load() == 1) {
      EXPECT_TRUE(holder_.Hold(options_.control_port));
    }
    return make();
  };
  services.pause = [&](std::chrono::milliseconds pause) {
    fake_elapsed_ += pause;
    // Sixty-one failed attempts, two seconds apart, span two minutes.
    if (sessions_made_.load() == 62) {
      holder_.Release();
      port_released = true;
    }
  };
  loop_ = std::thread([&] { RunReconnectLoop(state_, options_, tray_, services); });
  EndFirstSession();
  ASSERT_TRUE(
      WaitUntil([&] { return log_.Count("[Main] Ready. Waiting for mobile client") == 2; }, 20s));
  EXPECT_TRUE(port_released.load());
  EXPECT_EQ(sessions_made_.load(), 63);
  EXPECT_EQ(log_.Count("[Main] Session initialization failed; retrying every 2 seconds..."), 3u);
  EXPECT_EQ(log_.Count("is taken"), 0u);
  // The rebound session serves clients.
  EXPECT_TRUE(StreamingClient());
  EXPECT_TRUE(tray_.model().HandleCommand(1004));
  loop_.join();
}

TEST_F(TrayReconnectTest, AnExitDuringTheRetryPauseEndsTheLoopWithoutAnotherAttempt) {
  ReconnectServices services = CountingServices();
  services.make_session = [this, make = services.make_session] {
    if (sessions_made_.load() == 1) {
      EXPECT_TRUE(holder_.Hold(options_.control_port));
    }
    return make();
  };
  services.pause = [&, wait = services.pause](std::chrono::milliseconds pause) {
    if (sessions_made_.load() < 3) {
      return;
    }
    // As the menu's "Exit" would, from the tray's thread, while the loop waits. A wait
    // that did not wake on it would hold the loop for an hour.
    std::thread exit([&] { tray_.model().HandleCommand(1004); });
    wait(std::chrono::hours(1));
    exit.join();
    (void)pause;
  };
  loop_ = std::thread([&] { RunReconnectLoop(state_, options_, tray_, services); });
  EndFirstSession();
  loop_.join();
  EXPECT_EQ(sessions_made_.load(), 3);
  EXPECT_EQ(log_.Count("[Main] Ready. Waiting for mobile client"), 1u);
}

}  // namespace
}  // namespace orvane::testing
