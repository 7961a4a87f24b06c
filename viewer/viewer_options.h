#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::viewer {

struct ViewerOptions {
  std::string host;  // empty: the one discovery finds
  uint16_t control_port = 9430;
  uint16_t media_port = 0;  // 0: any port, which a punch makes known to the host
  uint16_t input_port = 0;  // 0: the one the host names when it accepts
  std::string code;         // a pairing code typed ahead
  bool fullscreen = false;
  // Empty: every codec this machine decodes.
  std::vector<orvane::protocol::v1::VideoCodec> codecs;
  uint32_t width = 0;  // 0 with height 0: the host's choice
  uint32_t height = 0;
  uint32_t fps = 60;
  bool stats = false;
  uint32_t seconds = 0;  // 0: until the window is closed
  std::filesystem::path identity_file;
  bool help = false;
  bool version = false;
};

// nullopt, with `error` set, for a malformed command line.
std::optional<ViewerOptions> ParseViewerOptions(std::span<const std::string> arguments,
                                                std::string& error);

std::string ViewerHelp();

}  // namespace orvane::viewer
