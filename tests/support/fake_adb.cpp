// Stands in for adb in the USB route tests. Each run appends its argument line to
// adb-calls.txt in its own folder and ends as adb-plan.txt there says for that line:
// "<argument line>=<exit code>" or "<argument line>=hang". Lines not in the plan exit 0.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::filesystem::path folder = std::filesystem::path(argv[0]).parent_path();
  std::string line;
  for (int i = 1; i < argc; ++i) {
    line += (i > 1 ? " " : "") + std::string(argv[i]);
  }
  std::ofstream(folder / "adb-calls.txt", std::ios::app) << line << "\n";

  std::ifstream plan(folder / "adb-plan.txt");
  for (std::string entry; std::getline(plan, entry);) {
    const size_t equals = entry.rfind('=');
    if (equals == std::string::npos || entry.substr(0, equals) != line) {
      continue;
    }
    const std::string outcome = entry.substr(equals + 1);
    if (outcome == "hang") {
      std::this_thread::sleep_for(std::chrono::minutes(2));
    }
    return std::atoi(outcome.c_str());
  }
  return 0;
}
