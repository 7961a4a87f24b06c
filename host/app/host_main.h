#pragma once

namespace orvane {

// The whole life of the host process: start-up, the reconnect loop, shutdown.
// Returns the process exit code.
int RunHost(int argc, const char* const* argv);

}  // namespace orvane
