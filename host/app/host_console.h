#pragma once

namespace orvane {

// The tray's "Open": brings the host's output into view. Windows gives the process a
// console again (a new one after background mode) and raises it; on Linux a host in
// the background has no terminal to restore, so the day's log file is opened in the
// desktop's viewer.
void ShowHostConsole();

}  // namespace orvane
