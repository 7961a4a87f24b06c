#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "integration/host_process.h"

namespace orvane::testing {

// What most end-to-end tests start from: the real host in `home` on ports of its own, and
// the reference client, whose identity lives in `home` too, paired with it.
class PairedHost {
 public:
  explicit PairedHost(std::filesystem::path home);

  // Starts the host with `extra` arguments after its ports and waits until it is ready.
  ::testing::AssertionResult Start(const std::vector<std::string>& extra = {},
                                   const HostProcess::Environment& environment = {});
  // Pairs the reference client through the code the host shows.
  ::testing::AssertionResult Pair() const;
  ::testing::AssertionResult StartAndPair(const std::vector<std::string>& extra = {},
                                          const HostProcess::Environment& environment = {});

  // The reference client's command line for this host, with `arguments`.
  std::string Client(const std::string& arguments) const;

  // The host process, once started.
  HostProcess* operator->() const { return process_.get(); }
  const std::filesystem::path& home() const { return home_; }
  uint16_t control_port() const { return control_port_; }
  uint16_t media_port() const { return media_port_; }
  uint16_t input_port() const { return input_port_; }

 private:
  const std::filesystem::path home_;
  const uint16_t control_port_;
  const uint16_t media_port_;
  const uint16_t input_port_;
  std::unique_ptr<HostProcess> process_;
};

}  // namespace orvane::testing
