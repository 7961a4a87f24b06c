#include <cstdio>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "platform/clock.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

// Waits for the Pong that echoes `sent_us`; Pongs of earlier, timed-out pings are skipped.
std::optional<v1::Pong> AwaitPong(ControlClient& client, uint64_t sent_us,
                                  std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const std::optional<v1::ControlMessage> reply =
        client.ReceiveUntil(v1::ControlMessage::kPong, remaining);
    if (!reply) {
      return std::nullopt;
    }
    if (reply->pong().ping_timestamp_us() == sent_us) {
      return reply->pong();
    }
  }
  return std::nullopt;
}

int RunPing(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const std::optional<uint32_t> count = NumberOption(options, "--count", 4, 1, 1000000, error);
  if (!count) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitUsage;
  }
  ControlClient client;
  if (!StartTrustedSession(client, common)) {
    return kExitFailed;
  }
  const FrameMode mode = FrameModeFor(common, client);
  uint32_t answered = 0;
  for (uint32_t i = 1; i <= *count; ++i) {
    v1::ControlMessage ping;
    const uint64_t sent_us = MonotonicMicros();
    ping.mutable_ping()->set_send_timestamp_us(sent_us);
    if (!client.Send(std::move(ping), mode)) {
      std::fprintf(stderr, "Cannot send Ping %u: %s\n", i, client.last_error().c_str());
      break;
    }
    const std::optional<v1::Pong> pong = AwaitPong(client, sent_us, common.timeout);
    if (!pong) {
      std::printf("Ping %u: no answer (%s)\n", i, client.last_error().c_str());
      if (!client.connected()) {
        break;
      }
      continue;
    }
    ++answered;
    const double rtt_ms = static_cast<double>(MonotonicMicros() - sent_us) / 1000.0;
    std::printf("Ping %u: %.3f ms (ping_timestamp_us=%llu pong_timestamp_us=%llu)\n", i, rtt_ms,
                static_cast<unsigned long long>(pong->ping_timestamp_us()),
                static_cast<unsigned long long>(pong->pong_timestamp_us()));
  }
  std::printf("%u of %u pings answered\n", answered, *count);
  return answered == *count ? kExitOk : kExitFailed;
}

}  // namespace

Command PingCommand() {
  return {"ping",
          "measure control-channel round trips",
          "Says Hello as a trusted device, then sends Pings one after another and prints\n"
          "each round trip and the Pong's timestamps.",
          {{"--count", "N", "number of pings (default 4)"}},
          RunPing};
}

}  // namespace orvane::client::cli
