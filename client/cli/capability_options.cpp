#include "client/cli/capability_options.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

constexpr OptionSpec kCapabilitySpecs[] = {
    {"--codec", "h264|hevc|both", "codecs to offer (default both)"},
    {"--fps", "LIST", "frame rates to offer, comma-separated (default 60)"},
    {"--width", "W", "preferred stream width (with --height)"},
    {"--height", "H", "preferred stream height (with --width)"},
    {"--audio", "", "offer Opus audio"},
    {"--no-touch", "", "offer no touch input"},
};

constexpr uint32_t kOpusSampleRate = 48000;
constexpr uint32_t kOpusChannels = 2;
constexpr uint32_t kMaxTouchPoints = 10;
constexpr uint32_t kMaxFps = 1000;
constexpr uint32_t kMaxDimension = 16384;

bool AddCodecs(const std::string& text, v1::CapabilityExchange& exchange) {
  if (text == "h264" || text == "both") {
    exchange.add_supported_codecs(v1::VIDEO_CODEC_H264);
  }
  if (text == "hevc" || text == "both") {
    exchange.add_supported_codecs(v1::VIDEO_CODEC_HEVC);
  }
  return exchange.supported_codecs_size() > 0;
}

bool AddFrameRates(const std::string& text, v1::CapabilityExchange& exchange) {
  for (size_t start = 0; start <= text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) {
      comma = text.size();
    }
    const std::optional<uint32_t> fps =
        ParseNumber(std::string_view(text).substr(start, comma - start), 1, kMaxFps);
    if (!fps) {
      return false;
    }
    exchange.add_supported_fps(*fps);
    start = comma + 1;
  }
  return true;
}

}  // namespace

std::span<const OptionSpec> CapabilityOptionSpecs() {
  return kCapabilitySpecs;
}

std::optional<v1::CapabilityExchange> BuildCapabilityExchange(const ParsedOptions& options,
                                                              std::string& error) {
  v1::CapabilityExchange exchange;
  const std::string codec = options.Value("--codec", "both");
  if (!AddCodecs(codec, exchange)) {
    error = "--codec needs h264, hevc or both, not \"" + codec + "\"";
    return std::nullopt;
  }
  const std::string fps = options.Value("--fps", "60");
  if (!AddFrameRates(fps, exchange)) {
    error = "--fps needs comma-separated numbers from 1 to " + std::to_string(kMaxFps) +
            ", not \"" + fps + "\"";
    return std::nullopt;
  }
  if (options.Has("--width") != options.Has("--height")) {
    error = "--width and --height go together";
    return std::nullopt;
  }
  if (options.Has("--width")) {
    const std::optional<uint32_t> width =
        NumberOption(options, "--width", 0, 1, kMaxDimension, error);
    const std::optional<uint32_t> height =
        NumberOption(options, "--height", 0, 1, kMaxDimension, error);
    if (!width || !height) {
      return std::nullopt;
    }
    exchange.mutable_preferred_resolution()->set_width(*width);
    exchange.mutable_preferred_resolution()->set_height(*height);
  }
  if (options.Has("--audio")) {
    v1::AudioCapability& audio = *exchange.mutable_audio();
    audio.set_opus_supported(true);
    audio.add_sample_rates(kOpusSampleRate);
    audio.set_channels(kOpusChannels);
  }
  v1::InputCapability& input = *exchange.mutable_input();
  input.set_touch(!options.Has("--no-touch"));
  input.set_keyboard(true);
  input.set_max_touch_points(options.Has("--no-touch") ? 0 : kMaxTouchPoints);
  exchange.set_device_model("orvane-client");
  exchange.set_os_version(ORVANE_CLIENT_OS);
  return exchange;
}

}  // namespace orvane::client::cli
