#include "client/framed_connection.h"

#include "net/control_frame_codec.h"

namespace orvane::client {
namespace {

constexpr size_t kReceiveChunk = 64 * 1024;

std::string SocketErrorText(const char* what) {
  return std::string(what) + " failed (socket error " + std::to_string(LastSocketError()) + ")";
}

bool Ipv4Address(const std::string& text, uint16_t port, sockaddr_in& address) {
  address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  return inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1;
}

}  // namespace

FramedConnection::~FramedConnection() {
  Close();
}

bool FramedConnection::Fail(const std::string& error) {
  last_error_ = error;
  Close();
  return false;
}

bool FramedConnection::Connect(const std::string& host, uint16_t port,
                               const std::string& local_address) {
  Close();
  sockaddr_in remote{};
  if (!Ipv4Address(host, port, remote)) {
    return Fail("not an IPv4 address: " + host);
  }
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == kInvalidSocket) {
    return Fail(SocketErrorText("socket()"));
  }
  if (!local_address.empty()) {
    sockaddr_in local{};
    if (!Ipv4Address(local_address, 0, local)) {
      return Fail("not an IPv4 address: " + local_address);
    }
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
      return Fail(SocketErrorText("bind()"));
    }
  }
  if (connect(socket_, reinterpret_cast<const sockaddr*>(&remote), sizeof(remote)) != 0) {
    return Fail(SocketErrorText("connect()"));
  }
  SetSocketOption(socket_, IPPROTO_TCP, TCP_NODELAY, 1);
  last_error_.clear();
  return true;
}

void FramedConnection::Close() {
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
  assembler_.Clear();
}

bool FramedConnection::SendBytes(std::span<const uint8_t> bytes) {
  if (!is_open()) {
    last_error_ = "not connected";
    return false;
  }
  return SendAll(socket_, bytes) || Fail(SocketErrorText("send()"));
}

bool FramedConnection::SendFrame(std::span<const uint8_t> payload) {
  const ControlFrameHeader header = EncodeControlFrameHeader(static_cast<uint32_t>(payload.size()));
  std::vector<uint8_t> frame(header.begin(), header.end());
  frame.insert(frame.end(), payload.begin(), payload.end());
  return SendBytes(frame);
}

FramedConnection::ReceiveResult FramedConnection::ReceiveFrame(std::vector<uint8_t>& payload,
                                                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<uint8_t> chunk(kReceiveChunk);
  while (is_open()) {
    switch (assembler_.Next(payload)) {
      case FrameAssembler::Result::kFrame:
        return ReceiveResult::kFrame;
      case FrameAssembler::Result::kBadLength:
        Fail("the host sent a frame length of 0 or above 1 MiB");
        return ReceiveResult::kClosed;
      case FrameAssembler::Result::kNeedMore:
        break;
    }
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (remaining.count() <= 0) {
      return ReceiveResult::kTimeout;
    }
    SetReceiveTimeout(socket_, static_cast<uint32_t>(remaining.count()));
    const int received = ReceiveSome(socket_, chunk.data(), chunk.size());
    if (received > 0) {
      assembler_.Append(std::span<const uint8_t>(chunk).first(static_cast<size_t>(received)));
    } else if (received == 0) {
      Fail("the host closed the connection");
    } else if (IsTimeoutError(LastSocketError())) {
      return ReceiveResult::kTimeout;
    } else {
      Fail(SocketErrorText("recv()"));
    }
  }
  if (last_error_.empty()) {
    last_error_ = "not connected";
  }
  return ReceiveResult::kClosed;
}

}  // namespace orvane::client
