#include "client/cli/command_line.h"

#include <cstdio>
#include <vector>

#include "client/cli/command.h"

namespace orvane::client::cli {
namespace {

std::vector<Command> AllCommands() {
  return {PairCommand(),  PingCommand(),        CapsCommand(),         StreamCommand(),
          InputCommand(), FileRequestCommand(), ClipboardSendCommand()};
}

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: orvane-client <command> [options]\n\ncommands:\n");
  for (const Command& command : AllCommands()) {
    std::fprintf(out, "  %-12s %s\n", std::string(command.name).c_str(),
                 std::string(command.summary).c_str());
  }
  std::fprintf(out,
               "\nRun orvane-client <command> --help for its options, orvane-client --version "
               "for the version.\n");
}

void PrintCommandHelp(const Command& command) {
  std::printf("usage: orvane-client %s [options]\n\n%s\n\n", std::string(command.name).c_str(),
              std::string(command.description).c_str());
  if (!command.options.empty()) {
    std::printf("options:\n%s\n", FormatOptionHelp(command.options).c_str());
  }
  std::printf("common options:\n%s", FormatOptionHelp(CommonOptionSpecs()).c_str());
}

int RunCommand(const Command& command, std::span<const std::string> arguments) {
  std::vector<OptionSpec> specs = command.options;
  const auto common_specs = CommonOptionSpecs();
  specs.insert(specs.end(), common_specs.begin(), common_specs.end());
  std::string error;
  const std::optional<ParsedOptions> options = ParseOptions(arguments, specs, error);
  if (!options) {
    std::fprintf(stderr, "orvane-client %s: %s (see --help)\n", std::string(command.name).c_str(),
                 error.c_str());
    return kExitUsage;
  }
  if (options->Has("--help")) {
    PrintCommandHelp(command);
    return kExitOk;
  }
  const std::optional<CommonOptions> common = ReadCommonOptions(*options, error);
  if (!common) {
    std::fprintf(stderr, "orvane-client %s: %s\n", std::string(command.name).c_str(),
                 error.c_str());
    return kExitUsage;
  }
  return command.run(*common, *options);
}

}  // namespace

int RunCommandLine(std::span<const std::string> arguments) {
  if (arguments.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  if (arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (arguments[0] == "--version") {
    std::printf("orvane-client %s\n", ORVANE_VERSION);
    return kExitOk;
  }
  for (const Command& command : AllCommands()) {
    if (arguments[0] == command.name) {
      return RunCommand(command, arguments.subspan(1));
    }
  }
  std::fprintf(stderr, "orvane-client: unknown command \"%s\"\n\n", arguments[0].c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace orvane::client::cli
