#include "platform/precise_sleep.h"

#include <algorithm>

#include "platform/waitable_timer_calls_win.h"

namespace orvane {
namespace {

constexpr WaitableTimerCalls kSystemCalls = {CreateWaitableTimerExW, SetWaitableTimer,
                                             WaitForSingleObject, CloseHandle};
constexpr DWORD kTimerAccess = TIMER_MODIFY_STATE | SYNCHRONIZE;

}  // namespace

PreciseSleeper::PreciseSleeper() : PreciseSleeper(&kSystemCalls) {}

PreciseSleeper::PreciseSleeper(const WaitableTimerCalls* calls) : calls_(calls) {
  timer_ = calls_->create(nullptr, nullptr, kCreateWaitableTimerHighResolution, kTimerAccess);
  if (timer_ == nullptr) {
    // Older systems refuse the flag; a plain timer still wakes at the next tick.
    high_resolution_ = false;
    timer_ = calls_->create(nullptr, nullptr, 0, kTimerAccess);
  }
}

PreciseSleeper::~PreciseSleeper() {
  if (timer_ != nullptr) {
    calls_->close(timer_);
  }
}

void PreciseSleeper::SleepFor(uint64_t nanoseconds) {
  // A negative due time is relative, in 100-ns units; the sleep never ends early.
  LARGE_INTEGER due{};
  due.QuadPart = -static_cast<LONGLONG>(std::max<uint64_t>((nanoseconds + 99) / 100, 1));
  if (timer_ != nullptr && calls_->set(timer_, &due, 0, nullptr, nullptr, FALSE)) {
    calls_->wait(timer_, INFINITE);
    return;
  }
  Sleep(static_cast<DWORD>(std::max<uint64_t>((nanoseconds + 999999) / 1000000, 1)));
}

}  // namespace orvane
