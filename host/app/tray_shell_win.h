#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <functional>
#include <memory>

#include "app/tray_shell.h"

namespace orvane {

// How the tray shell reaches the notification area: Shell_NotifyIconW in the host, a
// fake that keeps to its documented contract in tests.
using NotifyIconCall = std::function<BOOL(DWORD message, NOTIFYICONDATAW* record)>;

std::unique_ptr<TrayShell> CreateWindowsTrayShell(NotifyIconCall notify_icon);

}  // namespace orvane
