#include <SDL.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "base/logger.h"
#include "platform/platform_runtime.h"
#include "viewer/host_browser.h"
#include "viewer/viewer_app.h"
#include "viewer/viewer_options.h"

namespace {

using orvane::viewer::FoundHost;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The host the user means when none is named: the only one found, or the one chosen.
bool ChooseHost(orvane::viewer::ViewerOptions& options) {
  std::string error;
  const std::vector<FoundHost> hosts = orvane::viewer::BrowseHosts(std::chrono::seconds(3), error);
  if (hosts.empty()) {
    std::fprintf(stderr, "No host found on the local network%s%s; name one: orvane-viewer HOST\n",
                 error.empty() ? "" : ": ", error.c_str());
    return false;
  }
  size_t chosen = 0;
  if (hosts.size() > 1) {
    for (size_t i = 0; i < hosts.size(); ++i) {
      std::printf("%zu. %s (%s port %u)\n", i + 1, hosts[i].name.c_str(), hosts[i].address.c_str(),
                  static_cast<unsigned>(hosts[i].port));
    }
    std::printf("Connect to which host? ");
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    const auto number = std::strtoul(answer.c_str(), nullptr, 10);
    if (number < 1 || number > hosts.size()) {
      std::fprintf(stderr, "No such host\n");
      return false;
    }
    chosen = number - 1;
  }
  std::printf("Host %s at %s port %u\n", hosts[chosen].name.c_str(), hosts[chosen].address.c_str(),
              static_cast<unsigned>(hosts[chosen].port));
  options.host = hosts[chosen].address;
  options.control_port = hosts[chosen].port;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  orvane::Logger::Instance().SetConsoleStream(stderr);
  // A picture that does not decode shows in the statistics (decoded below received);
  // libavcodec's complaint about each unit, e.g. a warm-up keyframe sent twice, would
  // only fill the terminal.
  av_log_set_level(AV_LOG_FATAL);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  auto options = orvane::viewer::ParseViewerOptions(arguments, error);
  if (!options) {
    std::fprintf(stderr, "orvane-viewer: %s\nTry: orvane-viewer --help\n", error.c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::printf("%s", orvane::viewer::ViewerHelp().c_str());
    return kExitOk;
  }
  if (options->version) {
    std::printf("orvane-viewer %s\n", ORVANE_VERSION);
    return kExitOk;
  }
  if (!orvane::StartPlatformRuntime().ok()) {
    return kExitFailed;
  }
  if (options->host.empty() && !ChooseHost(*options)) {
    orvane::StopPlatformRuntime();
    return kExitFailed;
  }
  const int result = orvane::viewer::RunViewer(*options) ? kExitOk : kExitFailed;
  orvane::StopPlatformRuntime();
  return result;
}
