#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "platform/clock.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

std::optional<uint64_t> ParseSize(const std::string& text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

int RunFileRequest(const CommonOptions& common, const ParsedOptions& options) {
  if (!options.Has("--file")) {
    std::fprintf(stderr, "--file is required (the name may be empty: --file=)\n");
    return kExitUsage;
  }
  const std::optional<uint64_t> size = ParseSize(options.Value("--size", "0"));
  if (!size) {
    std::fprintf(stderr, "--size takes a decimal byte count\n");
    return kExitUsage;
  }
  ControlClient client;
  if (!StartSession(client, common, !options.Has("--no-hello"))) {
    return kExitFailed;
  }
  const FrameMode mode = FrameModeFor(common, client);
  v1::ControlMessage request;
  v1::StartFileTransfer* transfer = request.mutable_start_file_transfer();
  transfer->set_transfer_id(options.Value("--id", "transfer-1"));
  transfer->set_filename(options.Value("--file"));
  transfer->set_file_size_bytes(*size);
  transfer->set_checksum_sha256(options.Value("--sha256"));
  transfer->set_direction(options.Has("--to-client") ? v1::TRANSFER_DIRECTION_HOST_TO_CLIENT
                                                     : v1::TRANSFER_DIRECTION_CLIENT_TO_HOST);
  // The host answers a request before it handles the next message, so a Pong for a Ping
  // sent behind it closes the wait: an answer that has not come by then never comes.
  v1::ControlMessage ping;
  const uint64_t ping_stamp = MonotonicMicros();
  ping.mutable_ping()->set_send_timestamp_us(ping_stamp);
  if (!client.Send(std::move(request), mode) || !client.Send(std::move(ping), mode)) {
    std::fprintf(stderr, "Cannot send the request: %s\n", client.last_error().c_str());
    return kExitFailed;
  }
  std::optional<v1::FileTransferAck> ack;
  for (;;) {
    const std::optional<v1::ControlMessage> reply = client.Receive(common.timeout);
    if (!reply) {
      std::fprintf(stderr, "No answer: %s\n", client.last_error().c_str());
      return kExitFailed;
    }
    PrintReceived(*reply);
    if (reply->has_file_transfer_ack()) {
      ack = reply->file_transfer_ack();
    } else if (reply->has_pong() && reply->pong().ping_timestamp_us() == ping_stamp) {
      break;
    }
  }
  if (!ack) {
    std::printf("No FileTransferAck\n");
    return kExitFailed;
  }
  std::printf("transfer_id=%s status=%d resume_offset=%llu\n", ack->transfer_id().c_str(),
              static_cast<int>(ack->status()),
              static_cast<unsigned long long>(ack->resume_offset()));
  return kExitOk;
}

}  // namespace

Command FileRequestCommand() {
  return {"file-request",
          "ask the host to take a file and print its answer",
          "Says Hello as a trusted device, sends StartFileTransfer for the named file and\n"
          "prints the host's FileTransferAck: transfer_id, status (0 accepted, 1 refused)\n"
          "and resume_offset. Exits with 1 when no acknowledgement comes.",
          {{"--file", "NAME", "the file name the host is asked to store (required)"},
           {"--size", "BYTES", "the announced file size (default 0)"},
           {"--id", "ID", "the transfer id (default transfer-1)"},
           {"--sha256", "HEX", "the announced checksum (default none)"},
           {"--to-client", "", "announce the transfer as going from host to client"},
           {"--no-hello", "", "connect without saying Hello (an unauthenticated client)"}},
          RunFileRequest};
}

}  // namespace orvane::client::cli
