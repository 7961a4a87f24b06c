#include "platform/precise_sleep.h"

#include <algorithm>

#include "platform/waitable_timer_calls_win.h"

namespace orvane {
namespace {

constexpr WaitableTimerCalls kSystemCalls = {CreateWaitableTimerExW, SetWaitableTimer,
                                             WaitForSingleObject, CloseHandle};
constexpr DWORD kTimerAccess = TIMER_MODIFY_STATE | SYNCHRONIZE;

}  // namespace

struct PreciseSleeper::Timer {
  const WaitableTimerCalls* calls = nullptr;
  HANDLE handle = nullptr;
};

PreciseSleeper::PreciseSleeper() : PreciseSleeper(&kSystemCalls) {}

PreciseSleeper::PreciseSleeper(const WaitableTimerCalls* calls)
    : timer_(std::make_unique<Timer>()) {
  timer_->calls = calls;
  timer_->handle =
      calls->create(nullptr, nullptr, kCreateWaitableTimerHighResolution, kTimerAccess);
  if (timer_->handle == nullptr) {
    // Older systems refuse the flag; a plain timer still wakes at the next tick.
    high_resolution_ = false;
    timer_->handle = calls->create(nullptr, nullptr, 0, kTimerAccess);
  }
}

PreciseSleeper::~PreciseSleeper() {
  if (timer_->handle != nullptr) {
    timer_->calls->close(timer_->handle);
  }
}

void PreciseSleeper::SleepFor(uint64_t nanoseconds) {
  // A negative due time is relative, in 100-ns units; the sleep never ends early.
  LARGE_INTEGER due{};
  due.QuadPart = -static_cast<LONGLONG>(std::max<uint64_t>((nanoseconds + 99) / 100, 1));
  if (timer_->handle != nullptr &&
      timer_->calls->set(timer_->handle, &due, 0, nullptr, nullptr, FALSE)) {
    timer_->calls->wait(timer_->handle, INFINITE);
    return;
  }
  Sleep(static_cast<DWORD>(std::max<uint64_t>((nanoseconds + 999999) / 1000000, 1)));
}

}  // namespace orvane
