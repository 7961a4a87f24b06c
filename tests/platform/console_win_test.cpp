#include "platform/console.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "support/log_capture.h"

namespace orvane::testing {
namespace {

class SessionEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallConsoleEventHandler([this](uint32_t event) {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(event);
      return true;
    });
    window_ = FindWindowW(L"OrvaneSessionWnd", nullptr);
  }
  void TearDown() override { RemoveConsoleEventHandler(); }

  std::vector<uint32_t> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

  HWND window_ = nullptr;
  std::mutex mutex_;
  std::vector<uint32_t> events_;
};

// Windows asks every top-level window, hidden or not, before it ends the session; a
// message-only window is never asked.
TEST_F(SessionEndTest, AHiddenTopLevelWindowHearsTheSessionEnd) {
  ASSERT_NE(window_, nullptr);
  EXPECT_EQ(GetAncestor(window_, GA_PARENT), GetDesktopWindow());
  EXPECT_FALSE(IsWindowVisible(window_));
  EXPECT_NE(SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
  // Someone else's WM_CLOSE, or a session end that was called off, ends nothing.
  SendMessageW(window_, WM_CLOSE, 0, 0);
  SendMessageW(window_, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_TRUE(Events().empty());
}

// The answer to WM_ENDSESSION, after which the system may end the process, waits until
// the host has stopped in order (it removes the handler last).
TEST_F(SessionEndTest, TheSessionEndStopsTheHostAndWaitsForItsOrderlyStop) {
  ASSERT_NE(window_, nullptr);
  struct Case {
    LPARAM reason;
    uint32_t event;
  };
  for (const Case& c : {Case{ENDSESSION_LOGOFF, kConsoleLogoff}, Case{0, kConsoleShutdown},
                        Case{ENDSESSION_CRITICAL, kConsoleShutdown}}) {
    SCOPED_TRACE(c.reason);
    std::atomic<bool> answered{false};
    std::thread system([&] {
      SendMessageW(window_, WM_ENDSESSION, TRUE, c.reason);
      answered = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return !Events().empty(); }));
    EXPECT_EQ(Events(), std::vector<uint32_t>{c.event});
    EXPECT_FALSE(answered.load());

    RemoveConsoleEventHandler();
    system.join();
    EXPECT_FALSE(IsWindow(window_));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.clear();
    }
    SetUp();
    ASSERT_NE(window_, nullptr);
  }
}

}  // namespace
}  // namespace orvane::testing
