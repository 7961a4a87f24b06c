#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "client/input_sender.h"
#include "platform/clock.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

// The host takes input only from its active control client, so the connection must
// outlast the datagrams it receives on another thread.
constexpr std::chrono::milliseconds kInputSettle{200};

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

// "X,Y", each within [0, 1] of the streamed monitor.
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

v1::InputEvent Touch(v1::TouchAction action, Point point, uint32_t sequence) {
  v1::InputEvent event;
  event.set_timestamp_us(MonotonicMicros());
  event.set_sequence_number(sequence);
  v1::TouchEvent* touch = event.mutable_touch();
  touch->set_action(action);
  touch->set_pointer_id(0);
  touch->set_x_normalized(point.x);
  touch->set_y_normalized(point.y);
  touch->set_pressure(action == v1::TOUCH_ACTION_DOWN ? 1.0f : 0.0f);
  return event;
}

int RunInput(const CommonOptions& common, const ParsedOptions& options) {
  std::string error;
  const std::optional<Point> point = ParsePoint(options.Value("--touch"));
  const auto input_port = NumberOption(options, "--input-port", 9432, 1, 65535, error);
  if (!point || !input_port) {
    std::fprintf(stderr, "%s\n", point ? error.c_str() : "--touch takes X,Y within 0 to 1");
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
  if (!StartTrustedSession(client, common)) {
    return kExitFailed;
  }
  InputSender sender;
  if (!sender.Open(host) || !sender.SendEvent(Touch(v1::TOUCH_ACTION_DOWN, *point, 1)) ||
      !sender.SendEvent(Touch(v1::TOUCH_ACTION_UP, *point, 2))) {
    std::fprintf(stderr, "Cannot send the touch: %s\n", sender.last_error().c_str());
    return kExitFailed;
  }
  std::printf("Sent touch down and up at %.4f,%.4f to input port %u\n", point->x, point->y,
              *input_port);
  std::this_thread::sleep_for(kInputSettle);
  return kExitOk;
}

}  // namespace

Command InputCommand() {
  return {"input",
          "send a touch to the host's input port",
          "Says Hello as a trusted device, then sends one touch down and up at the given\n"
          "point to the host's input port as bare InputEvent datagrams. The host takes\n"
          "them from the address of its active control client only, so the control\n"
          "connection stays open until they have arrived.",
          {{"--touch", "X,Y", "where to touch, each within 0 to 1 of the monitor (required)"},
           {"--input-port", "N", "the host's UDP input port (default 9432)"}},
          RunInput};
}

}  // namespace orvane::client::cli
