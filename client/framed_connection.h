#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "client/frame_assembler.h"
#include "platform/socket.h"

namespace orvane::client {

// The client's end of the TCP control connection: IPv4, length-framed, with a time
// limit on every wait for a frame. Used from one thread.
class FramedConnection {
 public:
  enum class ReceiveResult { kFrame, kTimeout, kClosed };

  FramedConnection() = default;
  ~FramedConnection();
  FramedConnection(const FramedConnection&) = delete;
  FramedConnection& operator=(const FramedConnection&) = delete;

  // Both addresses are dotted IPv4 text, as the host serves IPv4 only; `local_address`,
  // when not empty, is the address to connect from (tests use several 127.x.y.z addresses to look
  // like several devices).
  bool Connect(const std::string& host, uint16_t port, const std::string& local_address);
  void Close();
  bool is_open() const { return socket_ != kInvalidSocket; }

  bool SendFrame(std::span<const uint8_t> payload);
  // Exactly these bytes, no length in front.
  bool SendBytes(std::span<const uint8_t> bytes);
  // kClosed also covers a broken stream (a bad frame length); the connection is then closed.
  ReceiveResult ReceiveFrame(std::vector<uint8_t>& payload, std::chrono::milliseconds timeout);

  // What made the latest operation fail.
  const std::string& last_error() const { return last_error_; }

 private:
  bool Fail(const std::string& error);

  SocketHandle socket_ = kInvalidSocket;
  FrameAssembler assembler_;
  std::string last_error_;
};

}  // namespace orvane::client
