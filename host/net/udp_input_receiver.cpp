#include "net/udp_input_receiver.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/logger.h"

namespace orvane {
namespace {

constexpr int kReceiveSocketBufferSize = 512 * 1024;

}  // namespace

UdpInputReceiver::~UdpInputReceiver() {
  Stop();
}

Status UdpInputReceiver::Start(uint16_t port, DatagramHandler handler, TickHandler tick) {
  std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
  StopLocked();
  handler_ = std::move(handler);
  tick_ = std::move(tick);
  const SocketHandle handle = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (handle == kInvalidSocket) {
    const int error = LastSocketError();
    LOG_ERROR("[UDPRecv] socket() failed: %d", error);
    return Status::Failure(StatusCode::kSocketSetup, "UDP receiver socket() failed",
                           HresultFromOsError(error));
  }
  SetSocketOption(handle, SOL_SOCKET, SO_RCVBUF, kReceiveSocketBufferSize);
  ClaimPortExclusively(handle);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const int error = LastSocketError();
    LOG_ERROR("[UDPRecv] bind() failed on port %u: %d", port, error);
    CloseSocket(handle);
    return Status::Failure(StatusCode::kSocketSetup, "UDP receiver bind() failed",
                           HresultFromOsError(error));
  }
  thread_.Start(handle, [this](SocketHandle bound) { ReceiveLoop(bound); });
  LOG_INFO("[UDPRecv] Listening for input on port %u", port);
  return Status::Success();
}

void UdpInputReceiver::ReceiveLoop(SocketHandle socket) {
  std::array<uint8_t, kReceiveBufferSize> buffer;
  DatagramSource source;
  uint32_t timeout_ms = 0;  // none
  while (thread_.running()) {
    if (tick_) {
      const std::optional<std::chrono::milliseconds> wait = tick_();
      const uint32_t wanted = wait ? static_cast<uint32_t>(std::max<int64_t>(wait->count(), 1)) : 0;
      if (wanted != timeout_ms) {
        SetReceiveTimeout(socket, wanted);
        timeout_ms = wanted;
      }
    }
    sockaddr_in from{};
    const int received = ReceiveDatagram(socket, buffer.data(), buffer.size(), from);
    const int error = received < 0 ? LastSocketError() : 0;
    if (!thread_.running()) {
      return;
    }
    if (received < 0 && timeout_ms != 0 && IsTimeoutError(error)) {
      continue;  // the wait ran out: time for the next tick
    }
    if (received > 0) {
      if (handler_) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof(text));
        source.address = text;
        source.port = ntohs(from.sin_port);
        handler_({buffer.data(), static_cast<size_t>(received)}, source);
      }
    } else if (received < 0 && !IsTransientDatagramError(error)) {
      LOG_ERROR_COLLAPSED("[UDPRecv] recvfrom error: %d", error);
    }
    // An empty datagram carries nothing to act on.
  }
}

void UdpInputReceiver::Stop() {
  std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
  StopLocked();
}

void UdpInputReceiver::StopLocked() {
  thread_.Stop();
}

}  // namespace orvane
