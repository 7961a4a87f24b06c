#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "client/input_sender.h"
#include "client/input_sequences.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

// The host takes input only from its active control client, so the connection must
// outlast the datagrams it receives on another thread.
constexpr std::chrono::milliseconds kInputSettle{200};
// Datagrams of one gesture are paced a little, as fingers are, so a busy host does not
// see them all at once.
constexpr std::chrono::milliseconds kEventGap{2};

struct Point {
  float x = 0;
  float y = 0;
};

std::optional<float> ParseNormalized(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(value >= 0.0f && value <= 1.0f)) {
    return std::nullopt;
  }
  return value;
}

// "X,Y", each within [0, 1] of the screen.
std::optional<Point> ParsePoint(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return std::nullopt;
  }
  const std::optional<float> x = ParseNormalized(text.substr(0, comma));
  const std::optional<float> y = ParseNormalized(text.substr(comma + 1));
  if (!x || !y) {
    return std::nullopt;
  }
  return Point{*x, *y};
}

// "0x25,13,0x0D": virtual-key codes, hexadecimal with 0x or decimal.
std::optional<std::vector<uint32_t>> ParseKeyCodes(const std::string& text) {
  std::vector<uint32_t> codes;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    char* end = nullptr;
    const unsigned long code = std::strtoul(item.c_str(), &end, 0);
    if (item.empty() || end != item.c_str() + item.size() || code == 0 || code > 0xFF) {
      return std::nullopt;
    }
    codes.push_back(static_cast<uint32_t>(code));
    start = comma + 1;
  }
  return codes;
}

// The events the options ask for, in the order touch, pen, typed text, keys; nullopt
// (after printing why) when an option is malformed or none is given.
std::optional<std::vector<v1::InputEvent>> EventsFor(const ParsedOptions& options) {
  std::vector<v1::InputEvent> events;
  const auto append = [&events](std::vector<v1::InputEvent> more) {
    events.insert(events.end(), more.begin(), more.end());
  };
  // Sequence numbers run on from one gesture to the next, from 1.
  const auto next = [&events] { return static_cast<uint32_t>(events.size()) + 1; };
  if (options.Has("--touch")) {
    const std::optional<Point> point = ParsePoint(options.Value("--touch"));
    if (!point) {
      std::fprintf(stderr, "--touch takes X,Y within 0 to 1\n");
      return std::nullopt;
    }
    append(TapEvents(point->x, point->y, next()));
  }
  if (options.Has("--pen")) {
    const std::optional<Point> point = ParsePoint(options.Value("--pen"));
    if (!point) {
      std::fprintf(stderr, "--pen takes X,Y within 0 to 1\n");
      return std::nullopt;
    }
    append(PenStrokeEvents(point->x, point->y, options.Has("--barrel"), next()));
  }
  if (options.Has("--type")) {
    auto typed = TypingEvents(options.Value("--type"), next());
    if (!typed) {
      std::fprintf(stderr, "--type takes text a US keyboard can type\n");
      return std::nullopt;
    }
    append(std::move(*typed));
  }
  if (options.Has("--keys")) {
    const auto codes = ParseKeyCodes(options.Value("--keys"));
    if (!codes) {
      std::fprintf(stderr, "--keys takes virtual-key codes 1 to 0xFF, separated by commas\n");
      return std::nullopt;
    }
    append(KeyPressEvents(*codes, next()));
  }
  if (events.empty()) {
    std::fprintf(stderr, "Give at least one of --touch, --pen, --type or --keys\n");
    return std::nullopt;
  }
  return events;
}

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
