#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvane {

// Console control events, numbered as the Windows console numbers them. On Linux SIGINT
// and SIGTERM arrive as kCtrlC and a hang-up of the terminal (SIGHUP) as kClose.
enum ConsoleEvent : uint32_t {
  kConsoleCtrlC = 0,
  kConsoleCtrlBreak = 1,
  kConsoleClose = 2,
  kConsoleLogoff = 5,
  kConsoleShutdown = 6,
};

// Returns true when the event was handled. It runs on a thread other than main. After a
// handled kConsoleClose the process ends, as it does when a Windows console closes.
using ConsoleEventHandler = std::function<bool(uint32_t event)>;

void InstallConsoleEventHandler(ConsoleEventHandler handler);
void RemoveConsoleEventHandler();

// Leaves the terminal: the host goes on without a console window or controlling terminal.
void DetachFromConsole();

struct RelaunchResult {
  enum class Outcome { kRequested, kPathLookupFailed, kStartFailed };
  Outcome outcome = Outcome::kRequested;
  uint32_t error = 0;
};

// Starts a detached copy of this executable with `arguments`; the copy outlives this
// process and takes over once this process has ended.
RelaunchResult RelaunchDetached(const std::vector<std::string>& arguments);

}  // namespace orvane
