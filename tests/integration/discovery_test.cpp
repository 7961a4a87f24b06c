#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "client/control_client.h"
#include "integration/host_process.h"
#include "platform/system_info.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
namespace pb = protocol::v1;
using namespace std::chrono_literals;

// Loopback and a veth pair with both ends inside: multicast DNS needs an interface that
// carries multicast, and this one reaches nothing outside the namespace. /run is private
// too, for the Avahi daemon's pid file and socket.
constexpr const char* kNamespaceSetup = R"(set -e
mount -t tmpfs tmpfs /run
ip link set lo up
ip link add veth0 type veth peer name veth1
ip addr add 10.77.0.1/24 dev veth0
ip addr add 10.77.0.2/24 dev veth1
ip link set veth0 up
ip link set veth1 up
echo "namespace ready $$"
exec sleep 100000
)";

constexpr const char* kAvahiConfig = R"([server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=veth0,veth1
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
)";

// One service as `avahi-browse -rpt` prints it resolved.
struct BrowsedService {
  std::string name;
  std::string port;
  std::string txt;
};

std::vector<BrowsedService> ParseBrowse(const std::string& output) {
  std::vector<BrowsedService> services;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    // =;interface;protocol;name;type;domain;host;address;port;txt
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ';');) {
      fields.push_back(field);
    }
    if (fields.size() >= 10 && fields[0] == "=" && fields[4] == "_orvane._tcp") {
      services.push_back({fields[3], fields[8], fields[9]});
    }
  }
  return services;
}

// A name as `avahi-browse -p` prints it: letters, digits, "_" and "-" as they are, "."
// and "\\" after a backslash, every other byte as a backslash and three decimal digits.
std::string BrowseEscaped(const std::string& name) {
  std::string escaped;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '_' || c == '-') {
      escaped += c;
    } else if (c == '.' || c == '\\') {
      escaped += std::string("\\") + c;
    } else {
      char code[8];
      std::snprintf(code, sizeof(code), "\\%03u", static_cast<unsigned>(byte));
      escaped += code;
    }
  }
  return escaped;
}

// A private network with its own system bus and Avahi daemon, all started here.
class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "discovery is tested in a network namespace of its own, which needs root";
    }
    network_ = std::make_unique<HostProcess>(
        "unshare",
        std::vector<std::string>{"--net", "--mount", "--propagation", "private", "sh", "-c",
                                 kNamespaceSetup},
        home_);
    ASSERT_TRUE(network_->WaitForOutput("namespace ready ")) << network_->Output();
    const std::string output = network_->Output();
    namespace_pid_ = output.substr(output.find("namespace ready ") + 16);
    namespace_pid_ = namespace_pid_.substr(0, namespace_pid_.find('\n'));

    std::ofstream(home_ / "bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>"
        << bus_address_
        << "</listen><auth>EXTERNAL</auth>"
           "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
           "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy></busconfig>\n";
    std::ofstream(home_ / "avahi-daemon.conf") << kAvahiConfig;

    bus_ = Inside({"dbus-daemon", "--config-file=" + (home_ / "bus.conf").string(), "--nofork",
                   "--nopidfile", "--print-address"});
    ASSERT_TRUE(bus_->WaitForOutput("unix:path=")) << bus_->Output();
    StartAvahi();
  }

  void StartAvahi() {
    avahi_ = Inside({"avahi-daemon", "--file=" + (home_ / "avahi-daemon.conf").string(),
                     "--no-drop-root", "--no-chroot", "--no-rlimits"});
    ASSERT_TRUE(avahi_->WaitForOutput("Server startup complete", 20s)) << avahi_->Output();
  }

  void TearDown() override {
    hosts_.clear();
    avahi_.reset();
    bus_.reset();
    network_.reset();
  }

  // Runs `command` inside the namespace, on the private system bus.
  std::unique_ptr<HostProcess> Inside(std::vector<std::string> command) {
    command.insert(command.begin(), {"-t", namespace_pid_, "--net", "--mount", "--"});
    return std::make_unique<HostProcess>(
        "nsenter", command, home_,
        HostProcess::Environment{{"DBUS_SYSTEM_BUS_ADDRESS", bus_address_}});
  }

  HostProcess& StartHost(uint16_t control_port) {
    hosts_.push_back(
        Inside({ORVANE_HOST_BINARY, "--control-port", std::to_string(control_port), "--media-port",
                std::to_string(FreeUdpPort()), "--input-port", std::to_string(FreeUdpPort())}));
    return *hosts_.back();
  }

  std::vector<BrowsedService> Browse() {
    auto browse = Inside({"avahi-browse", "-rpt", "_orvane._tcp"});
    browse->WaitForExit(15s);
    return ParseBrowse(browse->Output());
  }

  // Browses until `condition` holds for what is listed, or the time is up.
  template <typename Condition>
  bool BrowseUntil(Condition condition) {
    return WaitUntil([&] { return condition(Browse()); }, 20s);
  }

  TempFolder temp_{"orvane-discovery"};
  const fs::path home_ = temp_.path();
  const std::string bus_address_ = "unix:path=" + (home_ / "system_bus_socket").string();
  std::string namespace_pid_;
  std::unique_ptr<HostProcess> network_;
  std::unique_ptr<HostProcess> bus_;
  std::unique_ptr<HostProcess> avahi_;
  std::vector<std::unique_ptr<HostProcess>> hosts_;
};

bool Lists(const std::vector<BrowsedService>& services, const std::string& name, uint16_t port) {
  for (const BrowsedService& service : services) {
    if (service.name == name && service.port == std::to_string(port) &&
        service.txt.find("\"app=orvane-display\"") != std::string::npos &&
        service.txt.find("\"proto=v1\"") != std::string::npos) {
      return true;
    }
  }
  return false;
}

TEST_F(DiscoveryTest, AnnouncesTheControlPortUnderTheComputerNameUntilShutdown) {
  const std::string name = ComputerName();
  const uint16_t first_port = FreeTcpPort();
  HostProcess& first = StartHost(first_port);
  ASSERT_TRUE(
      first.WaitForOutput("[mDNS] Registration callback success: " + name + "._orvane._tcp.local"))
      << first.Output() << avahi_->Output();
  EXPECT_TRUE(BrowseUntil([&](const auto& services) {
    return Lists(services, BrowseEscaped(name), first_port);
  })) << first.Output();

  // A second host under the same name takes the alternative Avahi offers.
  const uint16_t second_port = FreeTcpPort();
  HostProcess& second = StartHost(second_port);
  ASSERT_TRUE(second.WaitForOutput("[mDNS] Service name collision: " + name + "; renamed to " +
                                   name + " #2"))
      << second.Output();
  EXPECT_TRUE(BrowseUntil([&](const auto& services) {
    return Lists(services, BrowseEscaped(name + " #2"), second_port) &&
           Lists(services, BrowseEscaped(name), first_port);
  })) << second.Output();

  first.Signal(SIGINT);
  EXPECT_EQ(first.WaitForExit(), 0);
  EXPECT_NE(first.Output().find("[INFO ] [mDNS] Service unregistered"), std::string::npos)
      << first.Output();
  // Gone from every interface, while the other host stays.
  EXPECT_TRUE(BrowseUntil([&](const std::vector<BrowsedService>& services) {
    for (const BrowsedService& service : services) {
      if (service.name == BrowseEscaped(name)) {
        return false;
      }
    }
    return Lists(services, BrowseEscaped(name + " #2"), second_port);
  }));
}

// The daemon restarts under a running host (an update, a network change): the host is
// listed again once it is back.
TEST_F(DiscoveryTest, IsListedAgainAfterTheAvahiDaemonRestarts) {
  const std::string name = ComputerName();
  const uint16_t port = FreeTcpPort();
  HostProcess& host = StartHost(port);
  const std::string success =
      "[mDNS] Registration callback success: " + name + "._orvane._tcp.local";
  ASSERT_TRUE(host.WaitForOutput(success)) << host.Output() << avahi_->Output();

  avahi_->Signal(SIGTERM);
  ASSERT_EQ(avahi_->WaitForExit(), 0) << avahi_->Output();
  ASSERT_TRUE(host.WaitForOutput(
      "[WARN ] [mDNS] Avahi daemon disconnected; the service is published again when it returns"))
      << host.Output();
  StartAvahi();
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::string output = host.Output();
        return output.find(success) != output.rfind(success);
      },
      20s))
      << host.Output();
  EXPECT_TRUE(BrowseUntil([&](const auto& services) {
    return Lists(services, BrowseEscaped(name), port);
  })) << host.Output();
  EXPECT_EQ(host.Output().find("[ERROR] [mDNS]"), std::string::npos) << host.Output();
}

// The viewer started without a host finds the only one announced, connects to it and, as
// an untrusted device, is asked for the code the host now shows.
TEST_F(DiscoveryTest, TheViewerWithoutAHostConnectsToTheOnlyOneFound) {
  const std::string name = ComputerName();
  const uint16_t port = FreeTcpPort();
  HostProcess& host = StartHost(port);
  ASSERT_TRUE(
      host.WaitForOutput("[mDNS] Registration callback success: " + name + "._orvane._tcp.local"))
      << host.Output() << avahi_->Output();
  auto viewer = Inside({"env", "SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                        ORVANE_VIEWER_BINARY, "--seconds", "20"});
  EXPECT_TRUE(viewer->WaitForOutput("Type the pairing code shown on the host", 20s))
      << viewer->Output();
  const std::string output = viewer->Output();
  EXPECT_NE(output.find("Host " + name + " at 10.77.0."), std::string::npos) << output;
  EXPECT_NE(output.find(" port " + std::to_string(port) + "\n"), std::string::npos) << output;
  EXPECT_TRUE(host.WaitForOutput("PAIRING_REQUIRED")) << host.Output();
}

// No daemon on the system bus (HostProcess gives the host a bus address where nothing
// listens): the host says so, asks for the address to be typed on the phone, and serves.
TEST(DiscoveryWithoutDaemonTest, TheHostFallsBackToManualAddressesAndServes) {
  TempFolder home("orvane-discovery");
  const uint16_t port = FreeTcpPort();
  HostProcess host({"--control-port", std::to_string(port), "--media-port",
                    std::to_string(FreeUdpPort()), "--input-port", std::to_string(FreeUdpPort())},
                   home.path());
  ASSERT_TRUE(host.WaitForOutput("[Main] Ready. Waiting for mobile client...")) << host.Output();
  const std::string output = host.Output();
  const size_t failure = output.find("[ERROR] [mDNS] avahi_client_new failed: ");
  const size_t manual =
      output.find("[INFO ] [Main] mDNS registration failed -- manual IP entry required on mobile");
  EXPECT_NE(failure, std::string::npos) << output;
  EXPECT_NE(manual, std::string::npos) << output;
  EXPECT_LT(failure, manual);

  client::ControlClient client;
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  pb::ControlMessage ping;
  ping.mutable_ping()->set_send_timestamp_us(77);
  ASSERT_TRUE(client.Send(ping));
  const auto pong = client.ReceiveUntil(pb::ControlMessage::kPong, 5s);
  ASSERT_TRUE(pong);
  EXPECT_EQ(pong->pong().ping_timestamp_us(), 77u);
}

}  // namespace
}  // namespace orvane::testing
