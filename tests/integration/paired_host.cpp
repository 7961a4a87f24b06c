#include "integration/paired_host.h"

#include "integration/run_shell.h"
#include "support/file_contents.h"
#include "support/test_socket.h"

namespace orvane::testing {

PairedHost::PairedHost(std::filesystem::path home)
    : home_(std::move(home)),
      control_port_(FreeTcpPort()),
      media_port_(FreeUdpPort()),
      input_port_(FreeUdpPort()) {}

::testing::AssertionResult PairedHost::Start(const std::vector<std::string>& extra,
                                             const HostProcess::Environment& environment) {
  std::vector<std::string> arguments{"--control-port", std::to_string(control_port_),
                                     "--media-port",   std::to_string(media_port_),
                                     "--input-port",   std::to_string(input_port_)};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  process_ = std::make_unique<HostProcess>(arguments, home_, environment);
  if (!process_->WaitForOutput("[Main] Ready. Waiting for mobile client...")) {
    return ::testing::AssertionFailure() << "the host did not get ready:\n" << process_->Output();
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult PairedHost::Pair() const {
  if (RunShell(Client("pair"), home_ / "pair1.log") == -1) {
    return ::testing::AssertionFailure() << "the client did not run";
  }
  const std::string code =
      ReadFile(home_ / "config" / "OrvaneDisplay" / "active_pairing_code.txt").substr(0, 6);
  if (RunShell(Client("pair --code " + code), home_ / "pair2.log") != 0) {
    return ::testing::AssertionFailure() << ReadFile(home_ / "pair2.log");
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult PairedHost::StartAndPair(const std::vector<std::string>& extra,
                                                    const HostProcess::Environment& environment) {
  ::testing::AssertionResult started = Start(extra, environment);
  return started ? Pair() : started;
}

std::string PairedHost::Client(const std::string& arguments) const {
  return std::string(ORVANE_CLIENT_BINARY) + " " + arguments + " --port " +
         std::to_string(control_port_) + " --identity '" + (home_ / "identity.json").string() + "'";
}

}  // namespace orvane::testing
