#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/media_packet.h"
#include "platform/socket.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client {

// Sends punches and InputEvents to the host's input port, bare or sealed in the input
// direction. Used from one thread.
class InputSender {
 public:
  InputSender() = default;
  ~InputSender();
  InputSender(const InputSender&) = delete;
  InputSender& operator=(const InputSender&) = delete;

  // Sends from a socket of its own, bound to `local_address` (dotted IPv4) when given.
  bool Open(const sockaddr_in& host_input, const std::string& local_address = {});
  // Sends from `shared`, which stays its owner's; a punch from the media receiver's socket
  // makes the host send media to that socket's port.
  void Attach(SocketHandle shared, const sockaddr_in& host_input);

  // Seals every later datagram with this key, numbered by the sender's own counter from
  // 0; an empty key sends them bare.
  void SetKey(std::span<const uint8_t> key) { key_.assign(key.begin(), key.end()); }

  bool SendPunch();
  bool SendEvent(const orvane::protocol::v1::InputEvent& event);

  const std::string& last_error() const { return last_error_; }

 private:
  bool SendPayload(std::span<const uint8_t> payload);
  void CloseOwned();

  SocketHandle socket_ = kInvalidSocket;
  bool owns_socket_ = false;
  sockaddr_in host_{};
  std::vector<uint8_t> key_;
  uint64_t counter_ = 0;
  std::vector<uint8_t> envelope_;
  std::string last_error_;
};

}  // namespace orvane::client
