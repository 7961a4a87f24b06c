#include "platform/precise_sleep.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/waitable_timer_calls_win.h"

namespace orvane {
namespace {

// Waitable timers as Windows documents them: CreateWaitableTimerExW refuses flags it does
// not know (CREATE_WAITABLE_TIMER_HIGH_RESOLUTION before Windows 10 1803) with
// ERROR_INVALID_PARAMETER; SetWaitableTimer needs TIMER_MODIFY_STATE access and waiting
// needs SYNCHRONIZE; a timer waited on without being set never signals.
struct FakeTimers {
  bool high_resolution_known = true;
  struct Timer {
    DWORD flags;
    DWORD access;
    bool set = false;
    bool closed = false;
  };
  std::vector<Timer> timers;
  std::vector<LONGLONG> waits;  // the due time of every completed wait
  LONGLONG pending_due = 0;
  int rule_breaks = 0;
};
FakeTimers* fake = nullptr;

FakeTimers::Timer* Find(HANDLE handle) {
  const auto index = reinterpret_cast<uintptr_t>(handle) - 1;
  return index < fake->timers.size() && !fake->timers[index].closed ? &fake->timers[index]
                                                                    : nullptr;
}

HANDLE WINAPI FakeCreate(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD flags, DWORD access) {
  const DWORD known = CREATE_WAITABLE_TIMER_MANUAL_RESET |
                      (fake->high_resolution_known ? kCreateWaitableTimerHighResolution : 0);
  if ((flags & ~known) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  fake->timers.push_back({flags, access});
  return reinterpret_cast<HANDLE>(fake->timers.size());
}

BOOL WINAPI FakeSet(HANDLE handle, const LARGE_INTEGER* due, LONG, PTIMERAPCROUTINE, LPVOID, BOOL) {
  FakeTimers::Timer* timer = Find(handle);
  if (timer == nullptr || (timer->access & TIMER_MODIFY_STATE) == 0 || due == nullptr) {
    ++fake->rule_breaks;
    SetLastError(timer == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  timer->set = true;
  fake->pending_due = due->QuadPart;
  return TRUE;
}

DWORD WINAPI FakeWait(HANDLE handle, DWORD) {
  FakeTimers::Timer* timer = Find(handle);
  if (timer == nullptr || (timer->access & SYNCHRONIZE) == 0) {
    ++fake->rule_breaks;
    return WAIT_FAILED;
  }
  if (!timer->set) {
    ++fake->rule_breaks;  // would wait for ever
    return WAIT_TIMEOUT;
  }
  timer->set = false;
  fake->waits.push_back(fake->pending_due);
  return WAIT_OBJECT_0;
}

BOOL WINAPI FakeClose(HANDLE handle) {
  FakeTimers::Timer* timer = Find(handle);
  if (timer == nullptr) {
    ++fake->rule_breaks;
    return FALSE;
  }
  timer->closed = true;
  return TRUE;
}

constexpr WaitableTimerCalls kFakeCalls = {FakeCreate, FakeSet, FakeWait, FakeClose};

TEST(PreciseSleeperWinTest, SleepsOnAHighResolutionTimerOrAPlainOneWhereThereIsNone) {
  for (const bool high_resolution_known : {true, false}) {
    SCOPED_TRACE(high_resolution_known);
    FakeTimers timers;
    timers.high_resolution_known = high_resolution_known;
    fake = &timers;
    {
      PreciseSleeper sleeper(&kFakeCalls);
      EXPECT_EQ(sleeper.high_resolution(), high_resolution_known);
      sleeper.SleepFor(16666666);
      sleeper.SleepFor(50);
    }
    ASSERT_EQ(timers.timers.size(), 1u);
    EXPECT_EQ(timers.timers[0].flags,
              high_resolution_known ? kCreateWaitableTimerHighResolution : DWORD{0});
    EXPECT_TRUE(timers.timers[0].closed);
    // Relative due times in 100-ns units, never shorter than asked.
    EXPECT_EQ(timers.waits, (std::vector<LONGLONG>{-166667, -1}));
    EXPECT_EQ(timers.rule_breaks, 0);
    fake = nullptr;
  }
}

// The system's own timer calls: a sleep ends (its length is not judged here).
TEST(PreciseSleeperWinTest, SleepsOnTheSystemTimer) {
  PreciseSleeper sleeper;
  sleeper.SleepFor(1000000);
  sleeper.SleepFor(0);
}

}  // namespace
}  // namespace orvane
