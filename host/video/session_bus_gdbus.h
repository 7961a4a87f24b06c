#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

namespace orvane {

// A connection of the caller's own to the session bus, or null with why in `error`.
GDBusConnection* ConnectSessionBus(std::string& error);

// Runs `context` until `done` holds, waking at least every 100 ms, so that what no source of
// the context announces (a deadline passing, a flag set by another thread) is seen.
void IterateUntil(GMainContext* context, const std::function<bool()>& done);

}  // namespace orvane
