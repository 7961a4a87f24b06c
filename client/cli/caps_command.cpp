#include <cstdio>

#include "client/cli/capability_negotiation.h"
#include "client/cli/capability_options.h"
#include "client/cli/command.h"
#include "client/cli/session_start.h"

namespace orvane::client::cli {
namespace {

int RunCaps(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const auto exchange = BuildCapabilityExchange(options, error);
  if (!exchange) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitUsage;
  }
  ControlClient client;
  if (!StartTrustedSession(client, common) || !NegotiateCapabilities(client, common, *exchange)) {
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

Command CapsCommand() {
  const auto specs = CapabilityOptionSpecs();
  return {"caps",
          "offer capabilities and print what the host selects",
          "Says Hello as a trusted device, sends a CapabilityExchange built from the\n"
          "options and prints the host's CapabilityAccept.",
          {specs.begin(), specs.end()},
          RunCaps};
}

}  // namespace orvane::client::cli
