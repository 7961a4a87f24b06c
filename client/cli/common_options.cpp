#include "client/cli/common_options.h"

#include "client/client_identity.h"

namespace orvane::client::cli {
namespace {

constexpr OptionSpec kCommonSpecs[] = {
    {"--host", "ADDR", "host IPv4 address (default 127.0.0.1)"},
    {"--port", "N", "host control port (default 9430)"},
    {"--identity", "FILE", "identity file (default client_identity.json in the user's config)"},
    {"--name", "TEXT", "client name to send in Hello for this run"},
    {"--frames", "MODE",
     "bare|clear|sealed|sealed-compat after Hello (default: sealed with a key)"},
    {"--timeout-ms", "N", "how long to wait for each answer (default 5000)"},
    {"--help", "", "show this help"},
};

constexpr uint32_t kMaxTimeoutMs = 3600 * 1000;

}  // namespace

std::span<const OptionSpec> CommonOptionSpecs() {
  return kCommonSpecs;
}

std::optional<FrameMode> ParseFrameMode(std::string_view text) {
  if (text == "bare") {
    return FrameMode::kBare;
  }
  if (text == "clear") {
    return FrameMode::kClearEnvelope;
  }
  if (text == "sealed") {
    return FrameMode::kSealedPrimary;
  }
  if (text == "sealed-compat") {
    return FrameMode::kSealedCompatibility;
  }
  return std::nullopt;
}

std::optional<CommonOptions> ReadCommonOptions(const ParsedOptions& options, std::string& error) {
  CommonOptions common;
  common.host = options.Value("--host", common.host);
  const std::optional<uint32_t> port =
      NumberOption(options, "--port", common.port, 1, 65535, error);
  const std::optional<uint32_t> timeout =
      NumberOption(options, "--timeout-ms", 5000, 1, kMaxTimeoutMs, error);
  if (!port || !timeout) {
    return std::nullopt;
  }
  common.port = static_cast<uint16_t>(*port);
  common.timeout = std::chrono::milliseconds(*timeout);
  common.identity_file = options.Has("--identity")
                             ? std::filesystem::path(options.Value("--identity"))
                             : DefaultIdentityFile();
  common.name = options.Value("--name");
  if (options.Has("--frames")) {
    common.frame_mode = ParseFrameMode(options.Value("--frames"));
    if (!common.frame_mode) {
      error = "--frames needs bare, clear, sealed or sealed-compat, not \"" +
              options.Value("--frames") + "\"";
      return std::nullopt;
    }
  }
  return common;
}

}  // namespace orvane::client::cli
