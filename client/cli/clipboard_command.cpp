#include <cstdio>
#include <fstream>
#include <iterator>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "platform/clock.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int RunClipboardSend(const CommonOptions& common, const ParsedOptions& options) {
  const int sources = options.Has("--text") + options.Has("--text-file") + options.Has("--png");
  if (sources != 1) {
    std::fprintf(stderr, "Give one of --text, --text-file and --png\n");
    return kExitUsage;
  }
  v1::ControlMessage message;
  v1::ClipboardUpdate* update = message.mutable_clipboard_update();
  if (options.Has("--text")) {
    update->set_text(options.Value("--text"));
  } else if (options.Has("--text-file")) {
    const std::optional<std::string> text = ReadWholeFile(options.Value("--text-file"));
    if (!text) {
      std::fprintf(stderr, "Cannot read %s\n", options.Value("--text-file").c_str());
      return kExitFailed;
    }
    update->set_text(*text);
  } else {
    const std::optional<std::string> image = ReadWholeFile(options.Value("--png"));
    if (!image) {
      std::fprintf(stderr, "Cannot read %s\n", options.Value("--png").c_str());
      return kExitFailed;
    }
    update->set_has_image(true);
    update->set_image_data(*image);
    update->set_mime_type("image/png");
  }
  const size_t text_bytes = update->text().size();
  const size_t image_bytes = update->image_data().size();
  ControlClient client;
  if (!StartTrustedSession(client, common)) {
    return kExitFailed;
  }
  const FrameMode mode = FrameModeFor(common, client);
  if (!client.Send(std::move(message), mode)) {
    std::fprintf(stderr, "Cannot send ClipboardUpdate: %s\n", client.last_error().c_str());
    return kExitFailed;
  }
  // The host handles a client's messages in order, so its Pong says the update was taken.
  v1::ControlMessage ping;
  const uint64_t sent_us = MonotonicMicros();
  ping.mutable_ping()->set_send_timestamp_us(sent_us);
  if (!client.Send(std::move(ping), mode)) {
    std::fprintf(stderr, "Cannot send Ping: %s\n", client.last_error().c_str());
    return kExitFailed;
  }
  const auto pong = client.ReceiveUntil(v1::ControlMessage::kPong, common.timeout);
  if (!pong || pong->pong().ping_timestamp_us() != sent_us) {
    std::fprintf(stderr, "The host did not answer after the update\n");
    return kExitFailed;
  }
  std::printf("ClipboardUpdate sent (text=%zu bytes, image=%zu bytes)\n", text_bytes, image_bytes);
  return kExitOk;
}

}  // namespace

Command ClipboardSendCommand() {
  return {"clipboard-send",
          "put a text or an image on the host's clipboard",
          "Says Hello as a trusted device and sends one ClipboardUpdate: the text of --text\n"
          "or of the file --text-file, or the bytes of --png as an image/png (sent as they\n"
          "are, PNG or not). A Ping follows; its Pong says the host has taken the update.",
          {{"--text", "TEXT", "the text to send"},
           {"--text-file", "FILE", "send the contents of FILE as text"},
           {"--png", "FILE", "the image file to send"}},
          RunClipboardSend};
}

}  // namespace orvane::client::cli
