#pragma once

#include <string_view>
#include <vector>

#include "client/cli/common_options.h"
#include "client/cli/option_parser.h"

namespace orvane::client::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the host refused, did not answer, or went away
inline constexpr int kExitUsage = 2;   // the command line was wrong

struct Command {
  std::string_view name;
  std::string_view summary;         // one line for the command list
  std::string_view description;     // the paragraph of its --help
  std::vector<OptionSpec> options;  // its own options; the common ones are added
  int (*run)(const CommonOptions& common, const ParsedOptions& options);
};

Command PairCommand();
Command PingCommand();
Command CapsCommand();
Command StreamCommand();
Command InputCommand();
Command FileRequestCommand();
Command ClipboardSendCommand();

}  // namespace orvane::client::cli
