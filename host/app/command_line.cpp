#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace orvane {
namespace {

constexpr long long kLargestLogCapMib = 1 << 20;
// An extended monitor narrower than this is no use; one wider than this no encoder takes.
constexpr uint32_t kSmallestExtendSide = 64;
constexpr uint32_t kLargestExtendSide = 8192;

// atoi's reading (leading blanks, optional sign, leading digits, no digits gives 0),
// saturated so that long digit strings stay out of every accepted range instead of
// overflowing.
long long ReadNumber(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) {
    ++text;
  }
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  long long value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
    value = std::min(value * 10 + (*text - '0'), 1LL << 40);
  }
  return negative ? -value : value;
}

// Digits only, at most five of them.
std::optional<uint32_t> ReadDimension(const char*& text) {
  uint32_t value = 0;
  int digits = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)) && digits <= 5; ++text, ++digits) {
    value = value * 10 + static_cast<uint32_t>(*text - '0');
  }
  if (digits == 0 || digits > 5 || value < kSmallestExtendSide || value > kLargestExtendSide) {
    return std::nullopt;
  }
  return value;
}

uint16_t PortOrDefault(const char* text, uint16_t fallback) {
  const long long value = ReadNumber(text);
  return value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : fallback;
}

void ApplyValueOption(const char* option, const char* value,
                      const std::vector<CaptureSourceInfo>& capture_sources, CommandLine& result) {
  const HostOptions defaults;
  if (std::strcmp(option, "--control-port") == 0) {
    result.options.control_port = PortOrDefault(value, defaults.control_port);
  } else if (std::strcmp(option, "--media-port") == 0) {
    result.options.media_port = PortOrDefault(value, defaults.media_port);
  } else if (std::strcmp(option, "--input-port") == 0) {
    result.options.input_port = PortOrDefault(value, defaults.input_port);
  } else if (std::strcmp(option, "--monitors") == 0) {
    const long long monitors = ReadNumber(value);
    if (monitors >= 1 && monitors <= 4) {
      result.options.monitors = static_cast<uint32_t>(monitors);
    }
  } else if (std::strcmp(option, "--capture-output") == 0) {
    const long long one_based = ReadNumber(value);
    if (one_based >= 1 && one_based <= 4) {
      result.capture_output_index = static_cast<uint32_t>(one_based - 1);
    } else if (one_based == 0) {
      result.capture_output_index = 0;
    }
  } else if (std::strcmp(option, "--capture-backend") == 0) {
    result.capture_backend = CaptureSourceChoice(value, capture_sources);
  } else if (std::strcmp(option, "--encoder") == 0) {
    if (const auto choice = ParseEncoderChoice(value)) {
      result.options.encoder = *choice;
    }
  } else if (std::strcmp(option, "--after-pid") == 0) {
    const long long pid = ReadNumber(value);
    result.after_pid = pid > 0 && pid <= UINT32_MAX ? static_cast<uint32_t>(pid) : 0;
  } else if (std::strcmp(option, "--extend") == 0) {
    const std::optional<DisplaySize> size = ParseDisplaySize(value);
    result.options.extend_width = size ? size->width : 0;
    result.options.extend_height = size ? size->height : 0;
    result.extend_rejected = size ? "" : value;
  } else if (std::strcmp(option, "--log-cap-mib") == 0) {
    const long long mebibytes = ReadNumber(value);
    result.options.log_cap_mib = mebibytes >= 1 && mebibytes <= kLargestLogCapMib
                                     ? static_cast<uint32_t>(mebibytes)
                                     : defaults.log_cap_mib;
  }
}

}  // namespace

std::optional<DisplaySize> ParseDisplaySize(const char* text) {
  const std::optional<uint32_t> width = ReadDimension(text);
  if (!width || (*text != 'x' && *text != 'X')) {
    return std::nullopt;
  }
  ++text;
  const std::optional<uint32_t> height = ReadDimension(text);
  if (!height || *text != '\0') {
    return std::nullopt;
  }
  return DisplaySize{static_cast<uint16_t>(*width), static_cast<uint16_t>(*height)};
}

bool WantsUsage(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return true;
    }
  }
  return false;
}

bool WantsVersion(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      return true;
    }
  }
  return false;
}

const char* CommandLineUsage() {
  return "usage: orvane-host [options]\n"
         "\n"
         "Streams this computer's screen and sound to the Orvane Display app and injects its\n"
         "touch, pen and keys.\n"
         "\n"
         "  --control-port N       TCP control port, 1-65535 (default 9430)\n"
         "  --media-port N         UDP media port, 1-65535 (default 9431)\n"
         "  --input-port N         UDP input port, 1-65535 (default 9432)\n"
         "  --monitors N           monitors a session may stream, 1-4 (default 1)\n"
         "  --capture-output N     one-based monitor to capture, 1-4 (default 1)\n"
         "  --capture-backend NAME auto, or dxgi or wgc on Windows, x11 (x11shm), portal\n"
         "                         or mutter on Linux (default auto: mutter on GNOME\n"
         "                         Wayland, portal on other Wayland, else x11shm)\n"
         "  --extend WxH           add a WxH monitor right of the others, stream it and\n"
         "                         remove it at exit (X11, or a virtual monitor while\n"
         "                         streaming on GNOME Wayland; W and H 64-8192)\n"
         "  --encoder NAME         auto, hardware, x264 or openh264 on Linux (default auto:\n"
         "                         hardware where one opens, else x264)\n"
         "  --log-cap-mib N        size a day's log file may reach, in MiB, 1-1048576\n"
         "                         (default 64)\n"
         "  --console              keep the console (overrides --background)\n"
         "  --background           detach from the terminal\n"
         "  --after-pid N          first wait (at most 10 s) for process N to end\n"
         "  --version              print the version and exit\n"
         "  --help                 show this text\n";
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const CommandLine& defaults,
                             const std::vector<CaptureSourceInfo>& capture_sources) {
  CommandLine result = defaults;
  // A value that follows an option is examined as an argument in its own right too.
  for (int i = 1; i < argc; ++i) {
    if (i + 1 < argc) {
      ApplyValueOption(argv[i], argv[i + 1], capture_sources, result);
    }
    if (std::strcmp(argv[i], "--console") == 0) {
      result.console = true;
    }
    if (std::strcmp(argv[i], "--background") == 0) {
      result.background = true;
    }
  }
  return result;
}

}  // namespace orvane
