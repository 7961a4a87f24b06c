#include "client/cli/input_events.h"

#include <cstdio>
#include <cstdlib>

#include "client/input_sequences.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

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
}  // namespace

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

}  // namespace orvane::client::cli
