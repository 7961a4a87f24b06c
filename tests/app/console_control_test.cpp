#include "app/console_control.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/process.h"
#include "session/host_session.h"
#include "support/log_capture.h"
#include "support/test_socket.h"

namespace orvane {
namespace {

using testing::LogCapture;

struct RecordingRelauncher {
  int calls = 0;
  std::vector<std::string> arguments;
  RelaunchResult result;

  Relauncher Get() {
    return [this](const std::vector<std::string>& given) {
      ++calls;
      arguments = given;
      return result;
    };
  }
};

TEST(ConsoleControlTest, ShutdownEventsStopTheRunningSession) {
  for (const uint32_t event :
       {kConsoleCtrlC, kConsoleCtrlBreak, kConsoleLogoff, kConsoleShutdown}) {
    SCOPED_TRACE(event);
    AppState state;
    LogCapture log;
    auto session = std::make_shared<HostSession>();
    HostOptions options;
    options.control_port = testing::FreeTcpPort();
    ASSERT_TRUE(session->Initialize(options));
    state.active_session.Publish(session);
    std::thread run([&] { session->Run(); });

    EXPECT_TRUE(HandleConsoleEvent(event, state));
    run.join();  // returns only because the handler stopped the session
    EXPECT_TRUE(state.shutdown_requested.load());
    EXPECT_TRUE(log.Contains("\n[Main] Shutdown signal received"));
  }
}

TEST(ConsoleControlTest, ShutdownWithoutASessionOnlySetsTheFlag) {
  AppState state;
  EXPECT_TRUE(HandleConsoleEvent(kConsoleCtrlC, state));
  EXPECT_TRUE(state.shutdown_requested.load());
}

TEST(ConsoleControlTest, ConsoleCloseRelaunchesInBackgroundWithTheSameOptions) {
  AppState state;
  state.relaunch_options = {5000, 5001, 5002, 3, 16};
  state.relaunch_options.encoder = EncoderChoice::kOpenH264;
  RecordingRelauncher relauncher;
  LogCapture log;

  EXPECT_TRUE(HandleConsoleEvent(kConsoleClose, state, relauncher.Get()));
  EXPECT_EQ(relauncher.calls, 1);
  EXPECT_EQ(relauncher.arguments,
            (std::vector<std::string>{
                "--background", "--control-port", "5000", "--media-port", "5001", "--input-port",
                "5002", "--monitors", "3", "--log-cap-mib", "16", "--after-pid",
                std::to_string(CurrentProcessId()), "--encoder", "openh264"}));
  EXPECT_TRUE(log.Contains("[Main] Console close intercepted -- relaunching in background"));
  EXPECT_TRUE(log.Contains("[Main] Background relaunch requested after console close"));
  EXPECT_FALSE(state.shutdown_requested.load());
}

// The extended display there now goes to the new host, whether the command line or the tray
// added it.
TEST(ConsoleControlTest, ConsoleCloseKeepsTheExtendedMonitorAndUndoesItsOwnFirst) {
  AppState state;
  state.relaunch_options.extend_width = 640;
  state.relaunch_options.extend_height = 480;
  state.extended_size = 1280u << 16 | 800u;
  std::vector<std::string> order;
  state.before_relaunch = [&order] { order.push_back("undo"); };
  const Relauncher relaunch = [&order](const std::vector<std::string>& arguments) {
    order.insert(order.end(), arguments.end() - 2, arguments.end());
    return RelaunchResult{RelaunchResult::Outcome::kRequested, 0};
  };

  EXPECT_TRUE(HandleConsoleEvent(kConsoleClose, state, relaunch));
  // The new host adds its own monitor once this one, which has removed its own, is gone.
  EXPECT_EQ(order, (std::vector<std::string>{"undo", "--extend", "1280x800"}));
}

TEST(ConsoleControlTest, RelaunchFailuresAreWarnings) {
  struct Case {
    RelaunchResult result;
    const char* expected;
  };
  for (const Case& c : {Case{{RelaunchResult::Outcome::kPathLookupFailed, 122},
                             "[Main] Relaunch path lookup failed: 0x0000007A"},
                        Case{{RelaunchResult::Outcome::kStartFailed, 2},
                             "[Main] Background relaunch failed: 0x00000002"}}) {
    AppState state;
    RecordingRelauncher relauncher;
    relauncher.result = c.result;
    LogCapture log;
    EXPECT_TRUE(HandleConsoleEvent(kConsoleClose, state, relauncher.Get()));
    EXPECT_TRUE(log.Contains(c.expected)) << c.expected;
  }
}

TEST(ConsoleControlTest, ConsoleCloseAfterExitOrShutdownRelaunchesNothing) {
  RecordingRelauncher relauncher;
  AppState after_exit;
  after_exit.relaunch_on_console_close.store(false);
  EXPECT_TRUE(HandleConsoleEvent(kConsoleClose, after_exit, relauncher.Get()));
  AppState after_shutdown;
  after_shutdown.shutdown_requested.store(true);
  EXPECT_TRUE(HandleConsoleEvent(kConsoleClose, after_shutdown, relauncher.Get()));
  EXPECT_EQ(relauncher.calls, 0);
}

TEST(ConsoleControlTest, OtherEventsArePassedOn) {
  AppState state;
  for (const uint32_t event : {3u, 4u, 7u, 100u}) {
    EXPECT_FALSE(HandleConsoleEvent(event, state)) << event;
  }
  EXPECT_FALSE(state.shutdown_requested.load());
}

}  // namespace
}  // namespace orvane
