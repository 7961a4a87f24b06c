#include <cstdio>

#include "client/cli/capability_negotiation.h"
#include "client/cli/capability_options.h"
#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "client/random_text.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxSeconds = 24 * 3600;

// What the host said about the stream so far.
struct StreamWatch {
  bool started = false;
  bool stopped = false;
};

// Prints every message, with the time since `origin` in front, until `until`, a
// StreamStopped, or the end of the connection.
void Watch(ControlClient& client, Clock::time_point origin, Clock::time_point until,
           StreamWatch& watch) {
  while (client.connected() && !watch.stopped) {
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (remaining.count() <= 0) {
      return;
    }
    const std::optional<v1::ControlMessage> message = client.Receive(remaining);
    if (!message) {
      continue;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - origin).count();
    std::printf("[+%.3f s] ", elapsed);
    PrintReceived(*message);
    watch.started |= message->has_stream_started();
    watch.stopped |= message->has_stream_stopped();
  }
}

bool SendFramed(ControlClient& client, const CommonOptions& common, v1::ControlMessage message,
                const char* what) {
  if (!client.Send(std::move(message), FrameModeFor(common, client))) {
    std::fprintf(stderr, "Cannot send %s: %s\n", what, client.last_error().c_str());
    return false;
  }
  return true;
}

int RunStream(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const auto exchange = BuildCapabilityExchange(options, error);
  const auto seconds = NumberOption(options, "--seconds", 5, 1, kMaxSeconds, error);
  if (!exchange || !seconds) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitUsage;
  }
  ControlClient client;
  if (!StartTrustedSession(client, common) || !NegotiateCapabilities(client, common, *exchange)) {
    return kExitFailed;
  }
  const std::string session_id = "orvane-client-session-" + RandomHexText(8);
  v1::ControlMessage start;
  start.mutable_start_stream()->set_session_id(session_id);
  if (!SendFramed(client, common, std::move(start), "StartStream")) {
    return kExitFailed;
  }
  std::printf("Streaming session %s for %u s\n", session_id.c_str(), *seconds);
  const Clock::time_point origin = Clock::now();
  StreamWatch watch;
  Watch(client, origin, origin + std::chrono::seconds(*seconds), watch);
  if (!client.connected()) {
    std::fprintf(stderr, "Connection lost: %s\n", client.last_error().c_str());
    return kExitFailed;
  }
  if (watch.stopped) {
    std::fprintf(stderr, "The host stopped the stream by itself\n");
    return kExitFailed;
  }
  if (!watch.started) {
    std::fprintf(stderr, "The host sent no StreamStarted\n");
  }
  v1::ControlMessage stop;
  stop.mutable_stop_stream()->set_session_id(session_id);
  stop.mutable_stop_stream()->set_reason(v1::STOP_REASON_USER_REQUEST);
  if (!SendFramed(client, common, std::move(stop), "StopStream")) {
    return kExitFailed;
  }
  Watch(client, origin, Clock::now() + common.timeout, watch);
  if (!watch.stopped) {
    std::fprintf(stderr, "No StreamStopped after StopStream\n");
  }
  return watch.started && watch.stopped ? kExitOk : kExitFailed;
}

}  // namespace

Command StreamCommand() {
  std::vector<OptionSpec> specs = {{"--seconds", "N", "how long to stream (default 5)"}};
  const auto capability_specs = CapabilityOptionSpecs();
  specs.insert(specs.end(), capability_specs.begin(), capability_specs.end());
  return {"stream", "start a stream and print the host's messages while it runs",
          "Says Hello as a trusted device, negotiates capabilities, sends StartStream,\n"
          "prints every message the host sends for the given time, then sends StopStream\n"
          "and waits for StreamStopped.",
          std::move(specs), RunStream};
}

}  // namespace orvane::client::cli
