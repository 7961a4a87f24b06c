#include "app/app_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace orvane {
namespace {

struct Watched {
  explicit Watched(std::atomic<std::thread::id>& destroyed_on) : destroyed_on(destroyed_on) {}
  ~Watched() { destroyed_on = std::this_thread::get_id(); }
  std::atomic<std::thread::id>& destroyed_on;
};

// A console handler may still hold the session it read before the slot was cleared; the
// main thread must not go on to stop the platform runtime until that reference is gone.
TEST(AppStateTest, TheLastReferenceIsDroppedOnTheCallingThreadAfterOtherHoldersLetGo) {
  std::atomic<std::thread::id> destroyed_on;
  auto object = std::make_shared<Watched>(destroyed_on);
  std::atomic<bool> holding{false};
  std::thread holder([copy = object, &holding]() mutable {
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    copy.reset();
  });
  while (!holding.load()) {
    std::this_thread::yield();
  }
  DestroyWhenSoleOwner(object);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(destroyed_on.load(), std::this_thread::get_id());
  holder.join();
}

TEST(AppStateTest, AShutdownEndsAWaitThatWouldOtherwiseLastAnHour) {
  AppState state;
  EXPECT_FALSE(state.WaitForShutdown(std::chrono::milliseconds(0)));
  std::thread stopper([&state] { state.RequestShutdown(); });
  // Only a wait that wakes on the request can return here.
  EXPECT_TRUE(state.WaitForShutdown(std::chrono::hours(1)));
  stopper.join();
  EXPECT_TRUE(state.shutdown_requested.load());
  EXPECT_TRUE(state.WaitForShutdown(std::chrono::hours(1)));
}

}  // namespace
}  // namespace orvane
