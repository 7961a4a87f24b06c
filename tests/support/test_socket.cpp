#include "support/test_socket.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace orvane::testing {
namespace {

sockaddr_in LoopbackAddress(const std::string& text, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, text.c_str(), &address.sin_addr);
  return address;
}

// Ports are taken below the kernel's ephemeral range, so that a client socket lingering
// in TIME_WAIT from an earlier test can never hold the port a new listener binds. The
// start depends on the process so that test processes running side by side spread out.
uint16_t FreePort(int type, int protocol) {
  constexpr uint32_t kFirst = 20000;
  constexpr uint32_t kCount = 12000;
  static std::atomic<uint32_t> next{
      static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() % kCount)};
  for (int attempt = 0; attempt < 200; ++attempt) {
    const auto port = static_cast<uint16_t>(kFirst + (next.fetch_add(7) % kCount));
    const SocketHandle probe = socket(AF_INET, type, protocol);
    SetSocketOption(probe, SOL_SOCKET, SO_REUSEADDR, 1);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const bool free =
        bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    CloseSocket(probe);
    if (free) {
      return port;
    }
  }
  return 0;
}

}  // namespace

std::vector<uint8_t> BigEndianLength(uint32_t length) {
  return {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
          static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
}

uint16_t FreeTcpPort() {
  return FreePort(SOCK_STREAM, IPPROTO_TCP);
}

uint16_t FreeUdpPort() {
  return FreePort(SOCK_DGRAM, IPPROTO_UDP);
}

TestClient::TestClient(uint16_t port, const std::string& local_address) {
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in local = LoopbackAddress(local_address, 0);
  sockaddr_in remote = LoopbackAddress("127.0.0.1", port);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
      connect(socket_, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) != 0) {
    Close();
    return;
  }
  socklen_t size = sizeof(local);
  getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size);
  local_port_ = ntohs(local.sin_port);
  SetReceiveTimeout(socket_, 5000);
}

TestClient::~TestClient() {
  Close();
}

void TestClient::Close() {
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
}

bool TestClient::SendBytes(const std::vector<uint8_t>& bytes) {
  return SendAll(socket_, bytes);
}

bool TestClient::SendFrame(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> frame = BigEndianLength(static_cast<uint32_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return SendBytes(frame);
}

bool TestClient::ReceiveExactly(uint8_t* data, size_t size) {
  for (size_t received = 0; received < size;) {
    const int result = ReceiveSome(socket_, data + received, size - received);
    if (result < 1) {
      return false;
    }
    received += static_cast<size_t>(result);
  }
  return true;
}

bool TestClient::ReceiveFrame(std::vector<uint8_t>& payload) {
  uint8_t header[4];
  if (!ReceiveExactly(header, sizeof(header))) {
    return false;
  }
  const uint32_t size = (static_cast<uint32_t>(header[0]) << 24) |
                        (static_cast<uint32_t>(header[1]) << 16) |
                        (static_cast<uint32_t>(header[2]) << 8) | header[3];
  payload.assign(size, 0);
  return ReceiveExactly(payload.data(), payload.size());
}

bool TestClient::WaitForClose() {
  uint8_t byte = 0;
  // A reset counts as closed too; only a timeout or data means the connection lives.
  const int result = ReceiveSome(socket_, &byte, 1);
  if (result == 0) {
    return true;
  }
  if (result > 0) {
    return false;
  }
  return !IsTimeoutError(LastSocketError());
}

}  // namespace orvane::testing
