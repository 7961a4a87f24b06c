#include "viewer/viewer_options.h"

#include <algorithm>
#include <iterator>

#include "client/cli/option_parser.h"
#include "client/client_identity.h"

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;
using client::cli::NumberOption;
using client::cli::OptionSpec;

constexpr OptionSpec kSpecs[] = {
    {"--control-port", "N", "host control port (default 9430)"},
    {"--media-port", "N", "receive media on this UDP port (default: any, made known by a punch)"},
    {"--input-port", "N", "host input port (default: the one the host names)"},
    {"--code", "CODE", "the six-digit pairing code shown on the host, to pair without the prompt"},
    {"--fullscreen", "", "start full screen (F11 toggles)"},
    {"--codec", "h264|hevc", "the only codec to offer (default: every one this machine decodes)"},
    {"--size", "WxH", "preferred stream size (default: the host's)"},
    {"--fps", "N", "frame rate to ask for (default 60)"},
    {"--stats", "", "show the statistics overlay from the start (Ctrl+Alt+S toggles)"},
    {"--seconds", "N", "quit after N seconds, printing the statistics"},
    {"--identity", "FILE", "identity file (default: the reference client's)"},
    {"--version", "", "print the version"},
    {"--help", "", "show this help"},
};

constexpr uint32_t kMaxDimension = 16384;
constexpr uint32_t kMaxFps = 1000;
constexpr uint32_t kMaxSeconds = 7 * 24 * 3600;

bool ParseSize(const std::string& text, ViewerOptions& options) {
  const size_t x = text.find('x');
  if (x == std::string::npos) {
    return false;
  }
  const auto width =
      client::cli::ParseNumber(std::string_view(text).substr(0, x), 1, kMaxDimension);
  const auto height =
      client::cli::ParseNumber(std::string_view(text).substr(x + 1), 1, kMaxDimension);
  if (!width || !height) {
    return false;
  }
  options.width = *width;
  options.height = *height;
  return true;
}

std::optional<uint16_t> Port(const client::cli::ParsedOptions& parsed, const char* name,
                             uint32_t fallback, uint32_t min, std::string& error) {
  const auto port = NumberOption(parsed, name, fallback, min, 65535, error);
  if (!port) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(*port);
}

}  // namespace

std::optional<ViewerOptions> ParseViewerOptions(std::span<const std::string> arguments,
                                                std::string& error) {
  ViewerOptions options;
  std::vector<std::string> named;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.empty() || argument[0] != '-') {
      if (!options.host.empty()) {
        error = "one host only, not also \"" + argument + "\"";
        return std::nullopt;
      }
      options.host = argument;
      continue;
    }
    named.push_back(argument);
    // A value given apart belongs to its option, whatever it looks like.
    const auto spec = std::find_if(std::begin(kSpecs), std::end(kSpecs),
                                   [&](const OptionSpec& one) { return one.name == argument; });
    if (spec != std::end(kSpecs) && !spec->value_name.empty() && i + 1 < arguments.size()) {
      named.push_back(arguments[++i]);
    }
  }
  const auto parsed = client::cli::ParseOptions(named, kSpecs, error);
  if (!parsed) {
    return std::nullopt;
  }
  options.help = parsed->Has("--help");
  options.version = parsed->Has("--version");
  const auto control = Port(*parsed, "--control-port", options.control_port, 1, error);
  const auto media = Port(*parsed, "--media-port", 0, 0, error);
  const auto input = Port(*parsed, "--input-port", 0, 0, error);
  const auto fps = NumberOption(*parsed, "--fps", options.fps, 1, kMaxFps, error);
  const auto seconds = NumberOption(*parsed, "--seconds", 0, 1, kMaxSeconds, error);
  if (!control || !media || !input || !fps || !seconds) {
    return std::nullopt;
  }
  options.control_port = *control;
  options.media_port = *media;
  options.input_port = *input;
  options.fps = *fps;
  options.seconds = parsed->Has("--seconds") ? *seconds : 0;
  options.code = parsed->Value("--code");
  if (parsed->Has("--code") &&
      (options.code.size() != 6 ||
       options.code.find_first_not_of("0123456789") != std::string::npos)) {
    error = "--code needs the six digits shown on the host, not \"" + options.code + "\"";
    return std::nullopt;
  }
  options.fullscreen = parsed->Has("--fullscreen");
  options.stats = parsed->Has("--stats");
  if (parsed->Has("--codec")) {
    const std::string codec = parsed->Value("--codec");
    if (codec == "h264") {
      options.codecs = {v1::VIDEO_CODEC_H264};
    } else if (codec == "hevc") {
      options.codecs = {v1::VIDEO_CODEC_HEVC};
    } else {
      error = "--codec needs h264 or hevc, not \"" + codec + "\"";
      return std::nullopt;
    }
  }
  if (parsed->Has("--size") && !ParseSize(parsed->Value("--size"), options)) {
    error = "--size needs WxH, each from 1 to " + std::to_string(kMaxDimension) + ", not \"" +
            parsed->Value("--size") + "\"";
    return std::nullopt;
  }
  options.identity_file = parsed->Has("--identity")
                              ? std::filesystem::path(parsed->Value("--identity"))
                              : client::DefaultIdentityFile();
  return options;
}

std::string ViewerHelp() {
  return "Usage: orvane-viewer [HOST] [OPTIONS]\n"
         "\n"
         "Shows the screen of an Orvane Display Host in a window and plays its sound; the\n"
         "mouse, touch, pen and keyboard of this machine act on the host. Without HOST the\n"
         "hosts on the local network are listed and the only one, or the one chosen, is\n"
         "used. An untrusted device is asked for the pairing code the host shows.\n"
         "\n"
         "Options:\n" +
         client::cli::FormatOptionHelp(kSpecs) +
         "\n"
         "Keys: F11 full screen, Ctrl+Alt+S statistics, Ctrl+Alt+P mouse as pen.\n";
}

}  // namespace orvane::viewer
