#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "client/client_identity.h"
#include "client/control_client.h"
#include "integration/host_process.h"
#include "integration/wine_prefix.h"
#include "integration/xvfb_server.h"
#include "security/secure_envelope.h"
#include "security/trust_store.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
namespace pb = protocol::v1;
using client::ControlClient;
using client::FrameMode;
using Case = pb::ControlMessage::PayloadCase;
using namespace std::chrono_literals;

size_t CountEntries(const fs::path& folder) {
  std::error_code error;
  size_t count = 0;
  for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    ++count;
  }
  return count;
}

// A plain TCP connection from a chosen loopback address, for clients that misbehave.
class RawConnection {
 public:
  // `receive_buffer` (bytes, 0 for the system's) bounds what the host can put in flight.
  RawConnection(uint16_t port, const std::string& local_address, int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receive_buffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof(receive_buffer));
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, local_address.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)) != 0) {
      Close();
    }
  }
  ~RawConnection() { Close(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }
  bool Send(const std::vector<uint8_t>& bytes) {
    return connected() && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                              static_cast<ssize_t>(bytes.size());
  }
  // The host has closed its end: end of stream (or a reset) is waiting to be read.
  bool ClosedByHost() const {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, 0) != 1) {
      return false;
    }
    uint8_t byte = 0;
    return recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
  }
  void Close() {
    if (fd_ >= 0) {
      close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_ = -1;
};

pb::ControlMessage Ping(uint64_t stamp) {
  pb::ControlMessage message;
  message.mutable_ping()->set_send_timestamp_us(stamp);
  return message;
}

bool Pings(ControlClient& control, uint64_t stamp, std::chrono::milliseconds wait = 2s) {
  if (!control.Send(Ping(stamp))) {
    return false;
  }
  const auto pong = control.ReceiveUntil(Case::kPong, wait);
  return pong && pong->pong().ping_timestamp_us() == stamp;
}

enum class HostKind { kLinux, kWindowsUnderWine };

void PrintTo(HostKind kind, std::ostream* out) {
  *out << (kind == HostKind::kLinux ? "the Linux host" : "the Windows host under wine");
}

// The real host facing clients that misbehave on purpose: the Linux build, or the
// Windows build under wine on a display of its own.
class HostileClientTest : public ::testing::TestWithParam<HostKind> {
 protected:
  bool under_wine() const { return GetParam() == HostKind::kWindowsUnderWine; }

  void SetUp() override {
    if (!under_wine()) {
      return;
    }
    const std::string missing = WhatWineHostLacks();
    if (!missing.empty()) {
      GTEST_SKIP() << missing;
    }
    xvfb_ = std::make_unique<XvfbServer>("1024x768x24");
    ASSERT_TRUE(xvfb_->started());
    setenv("DISPLAY", xvfb_->display().c_str(), 1);
    UseWinePrefix();
    RemoveWineHostState();
  }

  void TearDown() override {
    if (under_wine()) {
      host_.reset();
      RemoveWineHostState();
    }
  }

  void StartHost(const std::vector<std::string>& options = {}) {
    arguments_ = {"--control-port", std::to_string(control_port_),
                  "--media-port",   std::to_string(media_port_),
                  "--input-port",   std::to_string(input_port_)};
    arguments_.insert(arguments_.end(), options.begin(), options.end());
    if (under_wine()) {
      std::vector<std::string> arguments{WindowsHostBinary().string()};
      arguments.insert(arguments.end(), arguments_.begin(), arguments_.end());
      host_ = std::make_unique<HostProcess>("wine", arguments, home_);
    } else {
      host_ = std::make_unique<HostProcess>(arguments_, home_);
    }
    ASSERT_TRUE(host_->WaitForOutput("[Main] Ready. Waiting for mobile client...", 60s))
        << host_->Output();
  }

  // Where the host keeps its trust list and pairing code, and its logs below.
  fs::path HostFolder() const {
    return under_wine() ? WineHostFolder() : home_ / "config" / "OrvaneDisplay";
  }
  fs::path LogFolder() const {
    return under_wine() ? WineHostFolder() / "logs" : home_ / "state" / "OrvaneDisplay" / "logs";
  }

  std::unique_ptr<ControlClient> Connect(const std::string& local_address = "127.0.0.1") {
    auto control = std::make_unique<ControlClient>();
    EXPECT_TRUE(control->Connect("127.0.0.1", control_port_, local_address))
        << control->last_error();
    return control;
  }

  std::unique_ptr<ControlClient> PairedClient() {
    auto control = Connect();
    EXPECT_TRUE(control->SendHello(identity_));
    EXPECT_TRUE(control->ReceiveUntil(Case::kHelloAck, 5s));
    std::ifstream file(HostFolder() / "active_pairing_code.txt");
    std::string code;
    file >> code;
    EXPECT_TRUE(control->SendHello(identity_, code));
    const auto ack = control->ReceiveUntil(Case::kHelloAck, 5s);
    EXPECT_TRUE(ack && ack->hello_ack().result() == pb::AUTH_RESULT_OK);
    return control;
  }

  size_t HostDescriptors() const {
    return CountEntries("/proc/" + std::to_string(host_->pid()) + "/fd");
  }
  size_t HostThreads() const {
    return CountEntries("/proc/" + std::to_string(host_->pid()) + "/task");
  }
  uintmax_t LogBytes() const {
    uintmax_t total = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(LogFolder(), error)) {
      total += entry.file_size();
    }
    return total;
  }
  std::vector<fs::path> LogFiles() const {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(LogFolder(), error)) {
      files.push_back(entry.path());
    }
    return files;
  }
  size_t OutputCount(const std::string& text) const {
    const std::string output = host_->Output();
    size_t count = 0;
    for (size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) {
      ++count;
    }
    return count;
  }
  void ExpectCleanStop() {
    host_->Interrupt();
    EXPECT_EQ(host_->WaitForExit(15s), 0) << host_->Output();
    EXPECT_NE(host_->Output().find("[Main] Shutdown complete."), std::string::npos);
  }

  TempFolder temp_{"orvane-hostile"};
  const fs::path home_ = temp_.path();
  const uint16_t control_port_ = FreeTcpPort();
  const uint16_t media_port_ = FreeUdpPort();
  const uint16_t input_port_ = FreeUdpPort();
  std::vector<std::string> arguments_;
  client::ClientIdentity identity_{"hostile-test-device", "Hostile test"};
  std::unique_ptr<XvfbServer> xvfb_;
  std::unique_ptr<HostProcess> host_;
};

// A client that begins a frame and never finishes it loses its place to the queued client
// once the frame's deadline has passed, and the host still stops cleanly.
TEST_P(HostileClientTest, AClientStalledInsideAFrameIsDroppedAndTheQueuedOneServed) {
  StartHost();
  RawConnection slow(control_port_, "127.0.0.1");
  ASSERT_TRUE(slow.connected());
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Active client connected from 127.0.0.1"));
  auto next = Connect("127.0.0.2");
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Queued client 127.0.0.2:"));
  ASSERT_TRUE(slow.Send({0x00, 0x00, 0x01}));
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Promoted queued client 127.0.0.2:", 30s))
      << host_->Output();
  EXPECT_TRUE(host_->WaitForOutput(" not completed within 10000 ms; closing the connection"));
  EXPECT_TRUE(WaitUntil([&] { return slow.ClosedByHost(); }, 5s));
  EXPECT_TRUE(Pings(*next, 7));

  // The promoted client starts a header of its own and stalls; the host still stops.
  ASSERT_TRUE(next->SendRawBytes({0x00, 0x00}));
  ExpectCleanStop();
}

// A client that keeps asking but never reads the answers is dropped once its answers
// cannot be written, and the queued client is served.
TEST_P(HostileClientTest, AClientThatStopsReadingIsDroppedAndTheQueuedOneServed) {
  StartHost();
  // A small window, so that the host's answers fill what the network holds for them soon.
  RawConnection deaf(control_port_, "127.0.0.1", 4096);
  ASSERT_TRUE(deaf.connected());
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Active client connected from 127.0.0.1"));
  auto next = Connect("127.0.0.2");
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Queued client 127.0.0.2:"));
  const std::string ping = Ping(2).SerializeAsString();
  std::vector<uint8_t> frame = BigEndianLength(static_cast<uint32_t>(ping.size()));
  frame.insert(frame.end(), ping.begin(), ping.end());
  // Until the host has given up on it. The host's socket buffer takes megabytes of answers
  // before its writer blocks, which a loaded machine can take minutes to fill.
  const auto give_up = std::chrono::steady_clock::now() + 240s;
  uint64_t sent = 0;
  while (std::chrono::steady_clock::now() < give_up && deaf.Send(frame)) {
    if (++sent % 1000 == 0 && OutputCount("[TCP] Promoted queued client 127.0.0.2:") > 0) {
      break;
    }
  }
  ASSERT_TRUE(host_->WaitForOutput("[TCP] Promoted queued client 127.0.0.2:", 30s))
      << sent << " pings sent\n"
      << host_->Output();
  // Which limit ends it first depends on how both sides' buffers fill on a loaded machine:
  // the stuck write, the full queue, or, once the flood's own send stalls inside a frame
  // behind the host's full receive window, that frame's deadline.
  const std::string output = host_->Output();
  EXPECT_TRUE(output.find("took no control frame for 10000 ms; closing the connection") !=
                  std::string::npos ||
              output.find("is not reading its control frames; closing the connection") !=
                  std::string::npos ||
              output.find(" not completed within 10000 ms; closing the connection") !=
                  std::string::npos)
      << sent << " pings sent\n"
      << output;
  // The host may still be reading away what the flooding client left in its socket.
  EXPECT_TRUE(Pings(*next, 3, 15s));
  ExpectCleanStop();
}

TEST_P(HostileClientTest, FiftyConnectionsAtOnceLeaveOneActiveOneQueuedAndNoLeak) {
  StartHost();
  // Threads and descriptors of a host that has served a client and waits again.
  {
    auto first = Connect("127.0.0.1");
    ASSERT_TRUE(Pings(*first, 1));
  }
  ASSERT_TRUE(host_->WaitForOutput("[Session] Waiting for next control client..."));
  std::this_thread::sleep_for(300ms);
  const size_t descriptors = HostDescriptors();
  const size_t threads = HostThreads();
  ASSERT_GT(descriptors, 0u);

  std::vector<std::unique_ptr<RawConnection>> crowd;
  for (int i = 0; i < 50; ++i) {
    crowd.push_back(
        std::make_unique<RawConnection>(control_port_, "127.0.1." + std::to_string(i + 1)));
    ASSERT_TRUE(crowd.back()->connected());
  }
  auto open_count = [&] {
    size_t open = 0;
    for (const auto& connection : crowd) {
      open += connection->ClosedByHost() ? 0 : 1;
    }
    return open;
  };
  EXPECT_TRUE(WaitUntil([&] { return open_count() == 2; }, 15s)) << open_count() << " open";
  // The host ends a stale client before it logs the replacement.
  EXPECT_TRUE(WaitUntil([&] {
    return OutputCount("[TCP] Replaced stale queued client with newer candidate") == 48;
  })) << OutputCount("[TCP] Replaced stale queued client with newer candidate");
  // The host still serves: the active one answers once the others are gone.
  crowd.clear();
  ASSERT_TRUE(WaitUntil([&] { return OutputCount("[TCP] Active client disconnected") >= 3; }, 10s));
  auto last = Connect("127.0.0.1");
  EXPECT_TRUE(Pings(*last, 2));
  last.reset();

  EXPECT_TRUE(WaitUntil([&] { return HostDescriptors() == descriptors; }, 10s))
      << HostDescriptors() << " descriptors, " << descriptors << " before";
  EXPECT_TRUE(WaitUntil([&] { return HostThreads() == threads; }, 10s))
      << HostThreads() << " threads, " << threads << " before";
  ExpectCleanStop();
}

TEST_P(HostileClientTest, GarbageFramesAreSurvivedAndOversizeFramesEndTheConnection) {
  StartHost();
  auto control = Connect();
  std::mt19937 random(15);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> payload(1 + random() % 300);
    for (uint8_t& byte : payload) {
      byte = static_cast<uint8_t>(random());
    }
    ASSERT_TRUE(control->SendRawFrame(payload));
  }
  // The largest frame there may be, full of nothing that parses.
  ASSERT_TRUE(control->SendRawFrame(std::vector<uint8_t>(1048576, 0xFF)));
  EXPECT_TRUE(Pings(*control, 3, 10s));

  ASSERT_TRUE(control->SendRawBytes({0x00, 0x10, 0x00, 0x01}));
  EXPECT_TRUE(host_->WaitForOutput("[TCP] Invalid frame size: 1048577"));
  EXPECT_TRUE(host_->WaitForOutput("[Session] Waiting for next control client..."));
  auto next = Connect();
  ASSERT_TRUE(next->SendRawBytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(host_->WaitForOutput("[TCP] Invalid frame size: 4294967295"));
  auto last = Connect();
  EXPECT_TRUE(Pings(*last, 4));
  ExpectCleanStop();
}

// Random datagrams at 10 000 per second for 10 s, at the input port and at the media
// port, from an address that is not the client's: the client's pings are still answered
// and the log grows by the rate-limited warnings only.
TEST_P(HostileClientTest, AUdpFloodLeavesTheClientServedAndTheLogSmall) {
  StartHost();
  auto control = PairedClient();
  std::this_thread::sleep_for(500ms);
  const uintmax_t log_before = LogBytes();

  std::atomic<bool> flooding{true};
  std::atomic<uint64_t> sent{0};
  std::thread flood([&] {
    const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.9", &local.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local));
    std::mt19937 random(10000);
    std::vector<uint8_t> datagram(1500);
    const auto begin = std::chrono::steady_clock::now();
    for (uint64_t n = 0; flooding; ++n) {
      const size_t size = 1 + random() % datagram.size();
      for (size_t i = 0; i < size; ++i) {
        datagram[i] = static_cast<uint8_t>(random());
      }
      if (n % 3 == 0 && size > 13) {
        // A third look like sealed envelopes, which take the replay and tag checks.
        std::copy_n("ORV1\x01", 5, datagram.begin());
      }
      sockaddr_in target{};
      target.sin_family = AF_INET;
      target.sin_port = htons(n % 2 == 0 ? input_port_ : media_port_);
      inet_pton(AF_INET, "127.0.0.1", &target.sin_addr);
      sendto(fd, datagram.data(), size, 0, reinterpret_cast<sockaddr*>(&target), sizeof(target));
      ++sent;
      // Paced to 10 per millisecond, 10 000 per second when the machine keeps up.
      if (n % 100 == 99) {
        std::this_thread::sleep_until(begin + std::chrono::milliseconds((n + 1) / 10));
      }
    }
    close(fd);
  });

  const auto flood_begin = std::chrono::steady_clock::now();
  size_t answered = 0;
  size_t asked = 0;
  while (std::chrono::steady_clock::now() - flood_begin < 10s) {
    ++asked;
    answered += Pings(*control, 1000 + asked, 3s) ? 1 : 0;
    std::this_thread::sleep_for(250ms);
  }
  flooding = false;
  flood.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - flood_begin).count();
  std::printf("flood: %llu datagrams in %.1f s (%.0f/s); %zu of %zu pings answered\n",
              static_cast<unsigned long long>(sent.load()), seconds, sent / seconds, answered,
              asked);
  EXPECT_EQ(answered, asked);

  // One warning line per second of flood, about 150 bytes each, with room to spare.
  constexpr uintmax_t kLogGrowthBound = 16 * 1024;
  const uintmax_t growth = LogBytes() - log_before;
  std::printf("flood: the log grew by %llu bytes\n", static_cast<unsigned long long>(growth));
  EXPECT_LT(growth, kLogGrowthBound);
  ExpectCleanStop();
}

// A client guessing pairing codes as fast as it can: proofs are checked at most once per
// 2 s (even the right one is refused unchecked sooner), the rest are refused unchecked, the
// code is renewed and shown at most once per 2 s, and the right code still pairs after.
TEST_P(HostileClientTest, PairingGuessesAreCheckedAtMostEveryTwoSeconds) {
  StartHost();
  auto control = Connect();
  const auto pairing_required = [&](const std::string& code) {
    EXPECT_TRUE(control->SendHello(identity_, code));
    const auto ack = control->ReceiveUntil(Case::kHelloAck, 5s);
    return ack && ack->hello_ack().result() == pb::AUTH_RESULT_PAIRING_REQUIRED;
  };
  const auto open_code = [&] {
    std::ifstream file(HostFolder() / "active_pairing_code.txt");
    std::string code;
    file >> code;
    return code;
  };
  // A Hello without a proof opens the code; a wrong guess is checked, and the right code
  // right after it is not.
  ASSERT_TRUE(pairing_required(""));
  const std::string code = open_code();
  ASSERT_TRUE(pairing_required(code == "000000" ? "000001" : "000000"));
  ASSERT_TRUE(pairing_required(code));

  const uintmax_t log_before = LogBytes();
  const auto begin = std::chrono::steady_clock::now();
  int guesses = 0;
  while (std::chrono::steady_clock::now() - begin < 5s) {
    char guess[16];
    std::snprintf(guess, sizeof(guess), "%06d", guesses % 1000000);
    ASSERT_TRUE(pairing_required(guess));
    ++guesses;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  // Every answer came; the log has a Hello in full and a code at most every 2 s.
  std::this_thread::sleep_for(200ms);
  const uintmax_t log_growth = LogBytes() - log_before;
  const size_t banners = OutputCount("||  PAIRING CODE:");
  std::printf("pairing guesses: %d in %.1f s, %zu codes shown, the log grew by %llu bytes\n",
              guesses, seconds, banners, static_cast<unsigned long long>(log_growth));
  EXPECT_LE(banners, static_cast<size_t>(seconds / 2.0) + 2);
  // A logged refusal with its banner and the count of the unlogged ones is about 1.5 KB.
  EXPECT_LT(log_growth, static_cast<uintmax_t>((seconds / 2.0 + 2) * 4096));

  std::this_thread::sleep_for(std::chrono::milliseconds(TrustStore::kProofIntervalMs));
  EXPECT_TRUE(control->SendHello(identity_, open_code()));
  const auto ack = control->ReceiveUntil(Case::kHelloAck, 5s);
  EXPECT_TRUE(ack && ack->hello_ack().result() == pb::AUTH_RESULT_OK);
  ExpectCleanStop();
}

pb::ControlMessage KeyframeRequest() {
  pb::ControlMessage message;
  message.mutable_request_keyframe()->set_stream_id("flood");
  return message;
}

// Sends `message` over and over for `duration` (sealed when there is a session key: the
// Windows host under wine has none), with a ping every thousand; true when every ping was
// answered (the host read all that came before it).
bool Flood(ControlClient& control, const pb::ControlMessage& message,
           std::chrono::steady_clock::duration duration, uint64_t& sent) {
  const FrameMode mode =
      control.primary_key().empty() ? FrameMode::kBare : FrameMode::kSealedPrimary;
  const auto begin = std::chrono::steady_clock::now();
  bool answered = true;
  for (sent = 0; std::chrono::steady_clock::now() - begin < duration; ++sent) {
    if (!control.Send(message, mode)) {
      return false;
    }
    if (sent % 1000 == 999) {
      answered = Pings(control, sent, 10s) && answered;
    }
  }
  return Pings(control, sent, 10s) && answered;
}

// A paired client asks for keyframes as fast as it can write them: every request is
// read, the log gets one line a second and a count of the rest.
TEST_P(HostileClientTest, AFloodOfKeyframeRequestsLeavesTheLogSmall) {
  StartHost();
  auto control = PairedClient();
  std::this_thread::sleep_for(500ms);
  const uintmax_t log_before = LogBytes();
  uint64_t sent = 0;
  ASSERT_TRUE(Flood(*control, KeyframeRequest(), 5s, sent))
      << sent << " sent, " << control->last_error();
  const uintmax_t growth = LogBytes() - log_before;
  std::printf("keyframe flood: %llu requests in 5 s, the log grew by %llu bytes\n",
              static_cast<unsigned long long>(sent), static_cast<unsigned long long>(growth));
  // Two lines a second, about 200 bytes, with room for the pings' neighbours.
  EXPECT_LT(growth, 64u * 1024u);
  EXPECT_GE(OutputCount("[Log] "), 1u);
  ExpectCleanStop();
}

// Lines that are not repeats (every Hello of a trusted client logs its keys afresh) stop
// at the day's cap: the file ends with one line saying so, the console goes on, and an
// error still reaches the file.
TEST_P(HostileClientTest, TheDaysFileStopsAtItsCapWhileAClientFloods) {
  StartHost({"--log-cap-mib", "1"});
  constexpr uintmax_t kCap = 1 << 20;
  auto control = PairedClient();
  const auto capped = [&] {
    const auto files = LogFiles();
    return std::any_of(files.begin(), files.end(), [](const fs::path& file) {
      std::ifstream in(file);
      const std::string text{std::istreambuf_iterator<char>(in), {}};
      return text.find("[Log] This file reached its size cap") != std::string::npos;
    });
  };
  size_t hellos = 0;
  const auto hello_burst = [&] {
    for (int i = 0; i < 50; ++i, ++hellos) {
      EXPECT_TRUE(control->SendHello(identity_));
    }
    for (int i = 0; i < 50; ++i) {
      EXPECT_TRUE(control->ReceiveUntil(Case::kHelloAck, 10s));
    }
  };
  const auto begin = std::chrono::steady_clock::now();
  while (!capped() && std::chrono::steady_clock::now() - begin < 120s) {
    hello_burst();
  }
  ASSERT_TRUE(capped()) << hellos << " Hellos";
  // As long again past the cap.
  const size_t at_cap = hellos;
  while (hellos < 2 * at_cap) {
    hello_burst();
  }
  ASSERT_TRUE(control->SendRawFrame({0xFF, 0xFF, 0xFF}));
  EXPECT_TRUE(host_->WaitForOutput("[Protocol] Failed to parse control message size=3"));
  EXPECT_TRUE(Pings(*control, 9));
  std::printf("log cap: %zu trusted Hellos, %zu after the cap\n", hellos, hellos - at_cap);

  for (const fs::path& file : LogFiles()) {
    EXPECT_LE(fs::file_size(file), kCap) << file;
    std::ifstream in(file);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const size_t notice = text.find("[Log] This file reached its size cap");
    if (notice == std::string::npos) {
      continue;
    }
    EXPECT_EQ(text.find("[Log] This file reached its size cap", notice + 1), std::string::npos);
    EXPECT_NE(text.find("[Protocol] Failed to parse control message size=3", notice),
              std::string::npos);
  }
  EXPECT_GT(OutputCount("[Protocol] Hello from"), hellos) << "the console is not capped";
  ExpectCleanStop();
}

// Strings that are not UTF-8 make the protobuf library complain; its complaint goes
// through the host's log, once a second at most, and nothing reaches the console in the
// library's own format.
TEST_P(HostileClientTest, HellosWithNamesThatAreNotUtf8PutNoLibraryLineOnTheConsole) {
  StartHost();
  pb::ControlMessage message;
  message.mutable_hello()->set_client_id("not-utf8");
  message.mutable_hello()->set_client_name("@@@@");
  message.mutable_hello()->set_protocol_version(1);
  std::string bytes = message.SerializeAsString();
  bytes.replace(bytes.find("@@@@"), 4, "\xFF\xFE\xC3\x28");
  const std::vector<uint8_t> hello(bytes.begin(), bytes.end());

  const auto begin = std::chrono::steady_clock::now();
  for (size_t i = 0; i < 200; ++i) {
    auto control = Connect();
    ASSERT_TRUE(control->SendRawFrame(hello));
    ASSERT_TRUE(Pings(*control, i)) << i;
    control.reset();
    // A connection from the address of the active one is refused as a duplicate.
    ASSERT_TRUE(
        WaitUntil([&] { return OutputCount("[TCP] Active client disconnected") > i; }, 10s));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  ASSERT_TRUE(host_->WaitForOutput("[libprotobuf] "));
  const size_t library_lines = OutputCount("[libprotobuf] ");
  std::printf("non-UTF-8 Hellos: 200 in %.1f s, %zu libprotobuf lines\n", seconds, library_lines);
  EXPECT_EQ(OutputCount("[libprotobuf ERROR"), 0u);
  EXPECT_EQ(OutputCount("[libprotobuf WARNING"), 0u);
  // A line and a count for each second at most.
  EXPECT_LE(library_lines, 2 * (static_cast<size_t>(seconds) + 2));
  ExpectCleanStop();
}

// The Windows host runs from the binary that holds the wine prefix's lock.
#ifdef ORVANE_WINE_TESTS
INSTANTIATE_TEST_SUITE_P(Wine, HostileClientTest, ::testing::Values(HostKind::kWindowsUnderWine),
                         [](const auto&) { return std::string("WindowsHost"); });
#else
INSTANTIATE_TEST_SUITE_P(Linux, HostileClientTest, ::testing::Values(HostKind::kLinux),
                         [](const auto&) { return std::string("LinuxHost"); });
#endif

}  // namespace
}  // namespace orvane::testing
