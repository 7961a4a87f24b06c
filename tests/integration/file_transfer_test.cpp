#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "client/client_identity.h"
#include "integration/host_process.h"
#include "security/trust_store.h"
#include "support/file_contents.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The real host with a download folder named by the user's user-dirs.dirs, asked for
// files by the reference client as a trusted device.
class FileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(home_ / "config");
    std::ofstream(home_ / "config" / "user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n";
    fs::create_directories(home_ / "Fetched");
    const client::ClientIdentity identity{"files-device", "Files tablet"};
    ASSERT_TRUE(client::WriteIdentity(identity_file_, identity));
    TrustStoreEnvironment trust_environment = TrustStoreEnvironment::System();
    trust_environment.folder = [this] { return home_ / "config" / "OrvaneDisplay"; };
    fs::create_directories(trust_environment.folder());
    TrustStore trust(trust_environment);
    trust.TrustDevice(identity.client_id, identity.client_name);
    ASSERT_TRUE(trust.Save());

    host_ = std::make_unique<HostProcess>(
        std::vector<std::string>{"--control-port", std::to_string(port_), "--media-port",
                                 std::to_string(FreeUdpPort()), "--input-port",
                                 std::to_string(FreeUdpPort())},
        home_, HostProcess::Environment{{"HOME", home_.string()}});
    ASSERT_TRUE(host_->WaitForOutput("[Main] Ready. Waiting for mobile client..."));
  }

  // Runs `orvane-client file-request` and returns what it printed.
  std::string RequestFile(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "file-request");
    for (const std::string& common : {std::string("--port"), std::to_string(port_),
                                      std::string("--identity"), identity_file_.string()}) {
      arguments.push_back(common);
    }
    HostProcess client(ORVANE_CLIENT_BINARY, arguments, home_);
    client.WaitForExit(30s);
    return client.Output();
  }

  TempFolder temp_{"orvane-files"};
  const fs::path home_ = temp_.path();
  const fs::path received_ = home_ / "Fetched" / "OrvaneDisplay";
  const fs::path identity_file_ = home_ / "identity.json";
  uint16_t port_ = FreeTcpPort();
  std::unique_ptr<HostProcess> host_;
};

TEST_F(FileTransferTest, AnswersWithSafeNamesResumeOffsetsAndRefusals) {
  // The first request makes the host's folder in the user's download folder.
  const std::string first = RequestFile({"--id", "slashes", "--file=a/b:c?.txt"});
  EXPECT_NE(first.find("transfer_id=slashes status=0 resume_offset=0"), std::string::npos)
      << first << host_->Output();
  ASSERT_TRUE(fs::exists(received_ / "a_b_c_.txt"));
  const std::string kept(4096, '\x5a');
  std::ofstream(received_ / "movie.mp4", std::ios::binary) << kept;

  const struct {
    std::string id, file;
    std::vector<std::string> extra;
    std::string answer;
  } cases[] = {
      {"resume",
       "movie.mp4",
       {"--size", "100000"},
       "transfer_id=resume status=0 resume_offset=4096"},
      // The direction is not looked at: every file comes to the host.
      {"outbound", "report.pdf", {"--to-client"}, "transfer_id=outbound status=0 resume_offset=0"},
      {"parent", "..", {}, "transfer_id=parent status=1 resume_offset=0"},
      {"self", ".", {}, "transfer_id=self status=1 resume_offset=0"},
      {"empty", "", {}, "transfer_id=empty status=1 resume_offset=0"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"--id", c.id, "--file=" + c.file};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const std::string printed = RequestFile(arguments);
    EXPECT_NE(printed.find(c.answer), std::string::npos) << c.file << "\n"
                                                         << printed << host_->Output();
  }
  EXPECT_TRUE(fs::exists(received_ / "report.pdf"));
  EXPECT_EQ(ReadFile(received_ / "movie.mp4"), kept);
  EXPECT_TRUE(
      host_->WaitForOutput("[FileXfer] Accepted: movie.mp4 (100000 bytes, resume at 4096)"));
  // Nothing landed beside or above the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(home_ / "Fetched"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(received_), fs::directory_iterator()), 3);
}

TEST_F(FileTransferTest, ARequestBeforeAuthenticationGetsNoAnswer) {
  const std::string printed = RequestFile({"--no-hello", "--file=early.txt", "--frames", "bare"});
  EXPECT_NE(printed.find("No FileTransferAck"), std::string::npos) << printed;
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] StartFileTransfer ignored before authentication"));
  EXPECT_FALSE(fs::exists(received_ / "early.txt"));

  // The host serves the next, admitted client as usual.
  const std::string admitted = RequestFile({"--id", "later", "--file=later.txt"});
  EXPECT_NE(admitted.find("transfer_id=later status=0"), std::string::npos) << admitted;
  EXPECT_EQ(admitted.find("early"), std::string::npos) << admitted;
}

}  // namespace
}  // namespace orvane::testing
