#pragma once

#include <windows.h>

namespace orvane {

// The waitable-timer calls a PreciseSleeper makes.
struct WaitableTimerCalls {
  HANDLE(WINAPI* create)(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags, DWORD access);
  BOOL(WINAPI* set)
  (HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE completion,
   LPVOID argument, BOOL resume);
  DWORD(WINAPI* wait)(HANDLE handle, DWORD milliseconds);
  BOOL(WINAPI* close)(HANDLE handle);
};

// CreateWaitableTimerExW's flag for a timer not bound to the system tick (Windows 10
// 1803 and later); the MinGW headers lack it.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

}  // namespace orvane
