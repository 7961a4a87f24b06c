#include <gtest/gtest.h>

#include "support/temp_folder.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "integration/host_process.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;

class HostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreeTcpPort();
    media_port_ = FreeUdpPort();
    input_port_ = FreeUdpPort();
  }

  std::string LogFileText() const {
    const fs::path logs = home_ / "state" / "OrvaneDisplay" / "logs";
    std::string text;
    for (const auto& entry : fs::directory_iterator(logs)) {
      std::ifstream in(entry.path());
      std::stringstream content;
      content << in.rdbuf();
      text += entry.path().filename().string() + "\n" + content.str();
    }
    return text;
  }

  // Ports of their own, so that hosts of tests running side by side do not collide.
  std::vector<std::string> Arguments() const {
    return {"--control-port", std::to_string(port_),
            "--media-port",   std::to_string(media_port_),
            "--input-port",   std::to_string(input_port_)};
  }

  TempFolder temp_{"orvane-host"};
  const fs::path home_ = temp_.path();
  uint16_t port_ = 0;
  uint16_t media_port_ = 0;
  uint16_t input_port_ = 0;
};

TEST_F(HostProcessTest, ServesAClientAndShutsDownCleanlyOnInterrupt) {
  HostProcess host(Arguments(), home_);
  ASSERT_TRUE(host.started());
  ASSERT_TRUE(host.WaitForOutput("[TCP] Listening on port " + std::to_string(port_)));
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client..."));

  TestClient client(port_);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(host.WaitForOutput("[Session] Active client: 127.0.0.1"));
  ASSERT_TRUE(client.SendFrame({1, 2, 3}));

  host.Signal(SIGINT);
  EXPECT_EQ(host.WaitForExit(), 0);
  const std::string output = host.Output();
  EXPECT_EQ(output.rfind("[INFO ] ====================================\n"
                         "[INFO ]   Orvane Display Host v0.3.0\n"
                         "[INFO ] ====================================\n",
                         0),
            0u)
      << output;
  EXPECT_NE(output.find("[Main] Ports: Control=" + std::to_string(port_) +
                        ", Media=" + std::to_string(media_port_) +
                        ", Input=" + std::to_string(input_port_) + ", Monitors=1"),
            std::string::npos);
  EXPECT_NE(output.find("[Main] Console mode: off (background=off)"), std::string::npos);
  EXPECT_NE(output.find("[INFO ] \n[Main] Shutdown signal received\n"), std::string::npos);
  EXPECT_EQ(output.find("Reconnecting in 2 seconds"), std::string::npos);
  EXPECT_NE(output.find("[INFO ] [Main] Shutdown complete.\n"), std::string::npos);

  const std::string log = LogFileText();
  EXPECT_NE(log.find("=== orvane started at "), std::string::npos);
  EXPECT_NE(log.find(" [INFO ]   Orvane Display Host v0.3.0\n"), std::string::npos);
  EXPECT_NE(log.find(" [INFO ] [Main] Shutdown complete.\n=== Shutdown at "), std::string::npos)
      << log;
}

TEST_F(HostProcessTest, ClientThatLeavesIsFollowedByTheNextWithinOneSession) {
  HostProcess host(Arguments(), home_);
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  {
    TestClient first(port_);
    ASSERT_TRUE(host.WaitForOutput("[Session] Active client: 127.0.0.1"));
  }
  ASSERT_TRUE(host.WaitForOutput("[Session] Control connection closed for active client (code=3"));
  ASSERT_TRUE(host.WaitForOutput("[Session] Waiting for next control client..."));
  TestClient second(port_, "127.0.0.2");
  ASSERT_TRUE(host.WaitForOutput("[Session] Promoted/connected next client: 127.0.0.2"));
  host.Signal(SIGTERM);
  EXPECT_EQ(host.WaitForExit(), 0);
  EXPECT_EQ(host.Output().find("[Main] Session ended"), std::string::npos);
}

TEST_F(HostProcessTest, PortInUseEndsTheHostAfterAFailedSessionStart) {
  HostProcess first(Arguments(), home_);
  ASSERT_TRUE(first.WaitForOutput("[TCP] Listening on port"));
  HostProcess second(Arguments(), home_);
  EXPECT_EQ(second.WaitForExit(), 0);
  const std::string output = second.Output();
  EXPECT_NE(output.find("[TCP] bind() failed on port " + std::to_string(port_)), std::string::npos);
  EXPECT_NE(output.find("[ERROR] [Session] bind() failed"), std::string::npos);
  EXPECT_NE(output.find("[ERROR] [Main] Control port " + std::to_string(port_) +
                        " is taken; is another host running?"),
            std::string::npos);
  EXPECT_NE(output.find("[ERROR] [Main] Session initialization failed"), std::string::npos);
  EXPECT_NE(output.find("[Main] Shutdown complete."), std::string::npos);
}

TEST_F(HostProcessTest, HelpPrintsTheOptionsAndStartsNothing) {
  HostProcess host({"--control-port", std::to_string(port_), "--help"}, home_);
  EXPECT_EQ(host.WaitForExit(), 0);
  const std::string output = host.Output();
  EXPECT_EQ(output.rfind("usage: orvane-host [options]", 0), 0u) << output;
  EXPECT_NE(output.find("--capture-backend NAME"), std::string::npos);
  EXPECT_EQ(output.find("[TCP] Listening"), std::string::npos);
}

}  // namespace
}  // namespace orvane::testing
