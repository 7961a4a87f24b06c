#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/cli/command.h"
#include "client/cli/input_events.h"
#include "client/cli/session_start.h"
#include "client/input_sender.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

// The host takes input only from its active control client, so the connection must
// outlast the datagrams it receives on another thread.
constexpr std::chrono::milliseconds kInputSettle{200};
// Datagrams of one gesture are paced a little, as fingers are, so a busy host does not
// see them all at once.
constexpr std::chrono::milliseconds kEventGap{2};

int RunInput(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const std::optional<std::vector<v1::InputEvent>> events = EventsFor(options);
  const auto input_port = NumberOption(options, "--input-port", 9432, 1, 65535, error);
  if (!events || !input_port) {
    if (!input_port) {
      std::fprintf(stderr, "%s\n", error.c_str());
    }
    return kExitUsage;
  }
  sockaddr_in host{};
  uint32_t resolve_hr = 0;
  if (!ResolveIpv4(common.host, static_cast<uint16_t>(*input_port), host, resolve_hr)) {
    std::fprintf(stderr, "Cannot resolve %s (0x%08lX)\n", common.host.c_str(),
                 static_cast<unsigned long>(resolve_hr));
    return kExitFailed;
  }
  ControlClient client;
  if (!StartSession(client, common, !options.Has("--no-hello"))) {
    return kExitFailed;
  }
  // Each address of the run sends, in turn, an optional punch and then every event.
  std::vector<std::string> sources = {options.Value("--input-from")};
  if (options.Has("--also-from")) {
    sources.push_back(options.Value("--also-from"));
  }
  for (const std::string& source : sources) {
    InputSender sender;
    if (!sender.Open(host, source)) {
      std::fprintf(stderr, "Cannot open the input socket: %s\n", sender.last_error().c_str());
      return kExitFailed;
    }
    if (options.Has("--punch") && !sender.SendPunch()) {
      std::fprintf(stderr, "Cannot send a punch: %s\n", sender.last_error().c_str());
      return kExitFailed;
    }
    for (const v1::InputEvent& event : *events) {
      if (!sender.SendEvent(event)) {
        std::fprintf(stderr, "Cannot send input: %s\n", sender.last_error().c_str());
        return kExitFailed;
      }
      std::this_thread::sleep_for(kEventGap);
    }
  }
  std::printf("Sent %zu input events to input port %u\n", events->size(), *input_port);
  std::this_thread::sleep_for(kInputSettle);
  return kExitOk;
}

}  // namespace

Command InputCommand() {
  return {"input",
          "send touch, pen and key input to the host's input port",
          "Says Hello as a trusted device, then sends the asked gestures to the host's input\n"
          "port as bare InputEvent datagrams, in the order touch, pen, typed text, keys.\n"
          "The host takes them from the address of its active control client only, so the\n"
          "control connection stays open until they have arrived.",
          {{"--touch", "X,Y", "a finger's down, move and up at X,Y, each within 0 to 1"},
           {"--pen", "X,Y", "a pen stroke at X,Y: hover, down, move, up, hover exit"},
           {"--barrel", "", "hold the pen's barrel button while it touches"},
           {"--type", "TEXT", "type TEXT as a US keyboard would (Shift for capitals)"},
           {"--keys", "CODES", "press and release virtual-key codes, e.g. 0x25,0x0D"},
           {"--input-port", "N", "the host's UDP input port (default 9432)"},
           {"--input-from", "ADDRESS", "send the datagrams from this local IPv4 address"},
           {"--punch", "", "send a bare punch ahead of the events, as the app does"},
           {"--also-from", "ADDRESS", "then send the punch and the events again from ADDRESS"},
           {"--no-hello", "", "connect without saying Hello (an unauthenticated client)"}},
          RunInput};
}

}  // namespace orvane::client::cli
