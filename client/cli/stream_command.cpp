#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>

#include "client/cli/capability_negotiation.h"
#include "client/cli/capability_options.h"
#include "client/cli/clipboard_files.h"
#include "client/cli/command.h"
#include "client/cli/input_events.h"
#include "client/cli/media_watch.h"
#include "client/cli/session_start.h"
#include "client/input_sender.h"
#include "client/keyframe_recovery.h"
#include "client/media_receiver.h"
#include "client/random_text.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxSeconds = 24 * 3600;
// How long a client waits for the keyframe it asked for before asking again.
constexpr std::chrono::milliseconds kKeyframeRetry{500};

// What the host said about the stream so far.
struct StreamWatch {
  bool started = false;
  bool stopped = false;
};

// Prints every message, with the time since `origin` in front, and keeps clipboard
// updates in `clipboard` if there is one, until `until`, a StreamStopped, the end of the
// connection, or `done`. Calls `tick` at least every 20 ms.
void Watch(
    ControlClient& client, Clock::time_point origin, Clock::time_point until, StreamWatch& watch,
    ClipboardFiles* clipboard, const std::function<bool()>& done = [] { return false; },
    const std::function<void()>& tick = [] {}) {
  constexpr auto kSlice = std::chrono::milliseconds(20);
  while (client.connected() && !watch.stopped && !done()) {
    tick();
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (remaining.count() <= 0) {
      return;
    }
    const std::optional<v1::ControlMessage> message = client.Receive(std::min(remaining, kSlice));
    if (!message) {
      continue;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - origin).count();
    std::printf("[+%.3f s] ", elapsed);
    PrintReceived(*message);
    if (clipboard != nullptr && message->has_clipboard_update() &&
        !clipboard->Save(message->clipboard_update())) {
      std::fprintf(stderr, "Cannot keep the clipboard update\n");
    }
    watch.started |= message->has_stream_started();
    watch.stopped |= message->has_stream_stopped();
  }
}

void PrintRecovery(const KeyframeRecovery::Summary& summary) {
  std::printf(
      "Keyframe requests: %llu sent after %llu losses; answered %llu (%s), recovered %llu "
      "(%s)\n",
      static_cast<unsigned long long>(summary.requests),
      static_cast<unsigned long long>(summary.losses),
      static_cast<unsigned long long>(summary.answered), summary.answer_us.Milliseconds().c_str(),
      static_cast<unsigned long long>(summary.recovered),
      summary.recovery_us.Milliseconds().c_str());
}

bool SendFramed(ControlClient& client, const CommonOptions& common, v1::ControlMessage message,
                const char* what) {
  if (!client.Send(std::move(message), FrameModeFor(common, client))) {
    std::fprintf(stderr, "Cannot send %s: %s\n", what, client.last_error().c_str());
    return false;
  }
  return true;
}

bool IsLoopback(const sockaddr_in& address) {
  return (ntohl(address.sin_addr.s_addr) >> 24) == 127;
}

// Without a fixed media port the host learns the receiver's port from a punch, sent bare
// because the host takes sealed input only once the stream has started. A fixed port
// gets media only when it is the port the host sends to.
bool AimMedia(MediaReceiver& receiver, uint16_t requested_port, const sockaddr_in& host,
              const v1::CapabilityAccept& accept) {
  if (requested_port != 0) {
    if (requested_port != accept.media_udp_port()) {
      std::fprintf(stderr, "The host sends media to port %u, not to %u\n", accept.media_udp_port(),
                   requested_port);
    }
    return true;
  }
  sockaddr_in input_port = host;
  input_port.sin_port = htons(static_cast<uint16_t>(accept.input_udp_port()));
  InputSender punch;
  punch.Attach(receiver.socket(), input_port);
  if (!punch.SendPunch()) {
    std::fprintf(stderr, "Cannot send the punch: %s\n", punch.last_error().c_str());
    return false;
  }
  std::printf("Punched input port %u from media port %u\n", accept.input_udp_port(),
              receiver.port());
  return true;
}

int RunStream(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const auto exchange = BuildCapabilityExchange(options, error);
  const auto seconds = NumberOption(options, "--seconds", 5, 1, kMaxSeconds, error);
  const auto media_port = NumberOption(options, "--media-port", 0, 0, 65535, error);
  const auto frames = NumberOption(options, "--video-frames", 0, 0, UINT32_MAX, error);
  const auto input_after = NumberOption(options, "--input-after", 1, 1, UINT32_MAX, error);
  if (!exchange || !seconds || !media_port || !frames || !input_after) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitUsage;
  }
  // Input sent while the stream runs, once --input-after pictures arrived.
  std::vector<v1::InputEvent> input;
  if (options.Has("--touch") || options.Has("--keys")) {
    const std::optional<std::vector<v1::InputEvent>> events = EventsFor(options);
    if (!events) {
      return kExitUsage;
    }
    input = *events;
  }
  sockaddr_in host{};
  uint32_t resolve_hr = 0;
  if (!ResolveIpv4(common.host, common.port, host, resolve_hr)) {
    std::fprintf(stderr, "Cannot resolve %s (0x%08lX)\n", common.host.c_str(),
                 static_cast<unsigned long>(resolve_hr));
    return kExitFailed;
  }
  MediaReceiver receiver;
  if (!receiver.Open(static_cast<uint16_t>(*media_port))) {
    std::fprintf(stderr, "%s\n", receiver.last_error().c_str());
    return kExitFailed;
  }
  std::ofstream out;
  if (options.Has("--out")) {
    out.open(options.Value("--out"), std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
      std::fprintf(stderr, "Cannot write %s\n", options.Value("--out").c_str());
      return kExitFailed;
    }
  }
  std::optional<ClipboardFiles> clipboard;
  if (options.Has("--clipboard-out")) {
    clipboard.emplace(options.Value("--clipboard-out"));
  }
  AudioTrack audio;
  if (options.Has("--audio-out") && !audio.Record(options.Value("--audio-out"))) {
    std::fprintf(stderr, "Cannot write %s\n", options.Value("--audio-out").c_str());
    return kExitFailed;
  }
  ControlClient client;
  if (!StartTrustedSession(client, common)) {
    return kExitFailed;
  }
  const std::optional<v1::CapabilityAccept> accept =
      NegotiateCapabilities(client, common, *exchange);
  if (!accept || !AimMedia(receiver, static_cast<uint16_t>(*media_port), host, *accept)) {
    return kExitFailed;
  }
  receiver.SetKey(client.primary_key());
  std::optional<KeyframeRecovery> recovery;
  if (options.Has("--request-keyframes")) {
    recovery.emplace(kKeyframeRetry);
  }
  MediaWatch media;
  media.Start(receiver, out, audio, recovery ? &*recovery : nullptr, IsLoopback(host));
  const std::string session_id = "orvane-client-session-" + RandomHexText(8);
  v1::ControlMessage start;
  start.mutable_start_stream()->set_session_id(session_id);
  if (!SendFramed(client, common, std::move(start), "StartStream")) {
    return kExitFailed;
  }
  std::printf("Streaming session %s for %u s\n", session_id.c_str(), *seconds);
  const Clock::time_point origin = Clock::now();
  StreamWatch watch;
  ClipboardFiles* clipboard_files = clipboard ? &*clipboard : nullptr;
  // Bare, from the media port: the host takes it from its control client's address.
  InputSender input_sender;
  sockaddr_in input_port = host;
  input_port.sin_port = htons(static_cast<uint16_t>(accept->input_udp_port()));
  input_sender.Attach(receiver.socket(), input_port);
  const auto tick = [&] {
    if (!input.empty() && media.frames_complete() >= *input_after) {
      for (const v1::InputEvent& event : input) {
        if (!input_sender.SendEvent(event)) {
          std::fprintf(stderr, "Cannot send input: %s\n", input_sender.last_error().c_str());
        }
      }
      std::printf("Sent %zu input events while streaming\n", input.size());
      input.clear();
    }
    if (!recovery || !recovery->TakeRequestDue(Clock::now())) {
      return;
    }
    v1::ControlMessage request;
    request.mutable_request_keyframe()->set_stream_id(session_id);
    SendFramed(client, common, std::move(request), "RequestKeyframe");
  };
  Watch(
      client, origin, origin + std::chrono::seconds(*seconds), watch, clipboard_files,
      [&] { return *frames != 0 && media.frames_complete() >= *frames && input.empty(); }, tick);
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
  Watch(client, origin, Clock::now() + common.timeout, watch, clipboard_files);
  media.Stop();
  audio.Close();
  if (recovery) {
    PrintRecovery(recovery->summary());
  }
  if (!watch.stopped) {
    std::fprintf(stderr, "No StreamStopped after StopStream\n");
  }
  return watch.started && watch.stopped ? kExitOk : kExitFailed;
}

}  // namespace

Command StreamCommand() {
  std::vector<OptionSpec> specs = {
      {"--seconds", "N", "how long to stream (default 5)"},
      {"--video-frames", "N", "stop once N complete video frames have arrived (--seconds limits)"},
      {"--media-port", "N", "receive media on this UDP port (default 0: any port, punched)"},
      {"--out", "FILE", "write the received video access units to FILE"},
      {"--audio-out", "FILE", "write the received audio to FILE (Ogg Opus)"},
      {"--clipboard-out", "DIR", "keep the Nth clipboard update in DIR/N.txt and DIR/N.png"},
      {"--request-keyframes", "",
       "ask for a keyframe after a lost frame, and again every 500 ms until one arrives"},
      {"--touch", "X,Y", "once a picture arrived, a finger's down, move and up at X,Y (0 to 1)"},
      {"--keys", "CODES", "once a picture arrived, press and release virtual-key codes"},
      {"--input-after", "N",
       "send --touch and --keys once N pictures arrived (default 1), e.g. once a window shows"}};
  const auto capability_specs = CapabilityOptionSpecs();
  specs.insert(specs.end(), capability_specs.begin(), capability_specs.end());
  return {"stream", "start a stream, receive its media and print stats while it runs",
          "Says Hello as a trusted device, negotiates capabilities, punches the host's\n"
          "input port from the media port, sends StartStream and prints every message the\n"
          "host sends for the given time, then sends StopStream and waits for\n"
          "StreamStopped. Meanwhile media is received and reassembled: a stats line every\n"
          "second and the totals at the end. The video goes to --out as it arrives, in the\n"
          "host's Annex-B byte stream. Audio (offered with --audio) is decoded, its tone\n"
          "measured, and recorded to --audio-out. Clipboard updates from the host are\n"
          "printed, and kept as files with --clipboard-out. With a host on this machine the\n"
          "host-to-client delay of each access unit is measured on the shared monotonic\n"
          "clock.",
          std::move(specs), RunStream};
}

}  // namespace orvane::client::cli
