#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "base/status.h"
#include "net/datagram_source.h"
#include "net/socket_thread.h"
#include "platform/socket.h"

namespace orvane {

// The host's UDP endpoint for what the client sends outside the control channel (input
// events and punches). One thread receives and hands every datagram to the handler;
// what the datagram may do is the handler's decision.
class UdpInputReceiver {
 public:
  static constexpr size_t kReceiveBufferSize = 2048;

  // Runs on the receive thread for every non-empty datagram; what it decides is its own
  // to log.
  using DatagramHandler =
      std::function<void(std::span<const uint8_t> datagram, const DatagramSource& source)>;

  // Runs on the receive thread before every wait for a datagram; returns how long that
  // wait may last at most (nullopt: until a datagram comes). Lets the handler's owner act
  // on time (re-inject held input) on the thread that injects.
  using TickHandler = std::function<std::optional<std::chrono::milliseconds>()>;

  UdpInputReceiver() = default;
  ~UdpInputReceiver();
  UdpInputReceiver(const UdpInputReceiver&) = delete;
  UdpInputReceiver& operator=(const UdpInputReceiver&) = delete;

  // Binds the port on every local IPv4 address and starts the receive thread; a
  // receiver that runs is stopped first.
  Status Start(uint16_t port, DatagramHandler handler, TickHandler tick = {});
  // Wakes and joins the receive thread and closes the socket. Idempotent; must not be
  // called from the handler.
  void Stop();

 private:
  void StopLocked();
  void ReceiveLoop(SocketHandle socket);

  // Serialises Start and Stop, which the session may call from different threads.
  std::mutex lifecycle_mutex_;
  SocketThread thread_;
  DatagramHandler handler_;
  TickHandler tick_;
};

}  // namespace orvane
