#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "client/cli/option_parser.h"
#include "client/control_framing.h"

namespace orvane::client::cli {

// What every command takes: where the host is, who this client is, how it frames its
// control messages and how long it waits for an answer.
struct CommonOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 9430;
  std::filesystem::path identity_file;
  std::string name;                     // empty: the name stored with the identity
  std::optional<FrameMode> frame_mode;  // nullopt: sealed when a key exists, else bare
  std::chrono::milliseconds timeout{5000};
};

std::span<const OptionSpec> CommonOptionSpecs();

// nullopt, with `error` set, when a value is malformed.
std::optional<CommonOptions> ReadCommonOptions(const ParsedOptions& options, std::string& error);

// "bare", "clear", "sealed" or "sealed-compat".
std::optional<FrameMode> ParseFrameMode(std::string_view text);

}  // namespace orvane::client::cli
