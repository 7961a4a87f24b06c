#include "client/input_sender.h"

#include "security/secure_envelope.h"

namespace orvane::client {

InputSender::~InputSender() {
  CloseOwned();
}

bool InputSender::Open(const sockaddr_in& host_input, const std::string& local_address) {
  CloseOwned();
  socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_ == kInvalidSocket) {
    last_error_ = "cannot create the input socket";
    return false;
  }
  owns_socket_ = true;
  host_ = host_input;
  if (local_address.empty()) {
    return true;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (inet_pton(AF_INET, local_address.c_str(), &local.sin_addr) != 1) {
    last_error_ = "not an IPv4 address: " + local_address;
    return false;
  }
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    last_error_ = "cannot bind the input socket to " + local_address + " (error " +
                  std::to_string(LastSocketError()) + ")";
    return false;
  }
  return true;
}

void InputSender::Attach(SocketHandle shared, const sockaddr_in& host_input) {
  CloseOwned();
  socket_ = shared;
  host_ = host_input;
}

bool InputSender::SendPunch() {
  return SendPayload(
      {reinterpret_cast<const uint8_t*>(kPunchPayload.data()), kPunchPayload.size()});
}

bool InputSender::SendEvent(const orvane::protocol::v1::InputEvent& event) {
  const std::string serialized = event.SerializeAsString();
  return SendPayload({reinterpret_cast<const uint8_t*>(serialized.data()), serialized.size()});
}

bool InputSender::SendPayload(std::span<const uint8_t> payload) {
  std::span<const uint8_t> datagram = payload;
  if (!key_.empty()) {
    // A counter value is used up even when sealing fails: a nonce is never reused.
    if (!SealEnvelope(key_, kInputDirection, counter_++, payload, envelope_)) {
      last_error_ = "cannot seal the input datagram";
      return false;
    }
    datagram = envelope_;
  }
  if (SendDatagram(socket_, datagram.data(), datagram.size(), host_) !=
      static_cast<int>(datagram.size())) {
    last_error_ = "input send failed (error " + std::to_string(LastSocketError()) + ")";
    return false;
  }
  return true;
}

void InputSender::CloseOwned() {
  if (owns_socket_) {
    CloseSocket(socket_);
  }
  socket_ = kInvalidSocket;
  owns_socket_ = false;
}

}  // namespace orvane::client
