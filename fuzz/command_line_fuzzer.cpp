// Any arguments: the input is split at NUL bytes into argv[1..].
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  std::vector<std::string> arguments = {"orvane-host"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);
  WantsUsage(argc, argv.data());
  ParseCommandLine(argc, argv.data());
  return 0;
}
