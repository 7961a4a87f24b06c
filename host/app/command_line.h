#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session/host_options.h"
#include "video/capture_backend_choice.h"
#include "video/encoder_choice.h"

namespace orvane {

struct CommandLine {
  HostOptions options;
  uint32_t capture_output_index = 0;
  std::string capture_backend = kAutoCaptureSource;
  // An unknown name keeps what `defaults` hold.
  bool console = false;
  bool background = false;
  // The host this one was relaunched from; its ports are free only once it has ended.
  uint32_t after_pid = 0;
  // The value of an --extend that is no size, to tell the user; empty otherwise.
  std::string extend_rejected;
};

struct DisplaySize {
  uint16_t width = 0;
  uint16_t height = 0;
};

// "WIDTHxHEIGHT" of an extended monitor, each 64 to 8192; nothing for any other text.
std::optional<DisplaySize> ParseDisplaySize(const char* text);

// True when the user asked for the usage text ("--help" or "-h" anywhere).
bool WantsUsage(int argc, const char* const* argv);

// True when the user asked for the version ("--version" anywhere).
bool WantsVersion(int argc, const char* const* argv);

// The options the host takes, one per line, for --help.
const char* CommandLineUsage();

// Parses argv (argv[0] is the program and is skipped). Values that are out of range
// leave the capture selection as `defaults` hold it; a capture backend that names none
// of the choosable `capture_sources` is "auto".
CommandLine ParseCommandLine(int argc, const char* const* argv, const CommandLine& defaults = {},
                             const std::vector<CaptureSourceInfo>& capture_sources = {});

}  // namespace orvane
