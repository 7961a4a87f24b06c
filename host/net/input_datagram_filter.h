#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/status.h"
#include "net/datagram_source.h"
#include "net/replay_window.h"
#include "platform/clock.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane {

// What the session knows when an input-port datagram arrives.
struct InputSessionState {
  bool authenticated = false;               // the active client has been admitted
  std::string_view control_client_address;  // dotted IPv4 text; empty without an active client
  std::span<const uint8_t> session_key;     // empty when the session runs without encryption
};

enum class InputAction {
  kDrop,
  kInject,             // inject `event`
  kMoveMediaEndpoint,  // a punch: send media to `media_endpoint` from now on
};

struct InputDecision {
  InputAction action = InputAction::kDrop;
  protocol::v1::InputEvent event;
  DatagramSource media_endpoint;
  // A failure only when a sealed datagram did not open.
  Status status;
};

// Decides what a datagram on the input port may do. Only the active control client may
// act: a datagram must either open with the session key, or come bare (or in a clear
// envelope) from the control client's IP address. Anything else is dropped, so that
// nobody else on the network can inject input or redirect the media stream. Such a punch
// moves the media endpoint even before the client has authenticated; input is injected
// only for an authenticated client. A sealed datagram is taken once: its counter must be
// new to the replay window, which restarts with every key.
//
// Over the USB route the control connection comes from a loopback address while the
// phone's datagrams come from its network address: then the first bare punch of the
// connection from another address binds that address to the control client, for media
// and input alike, until the next connection. Not thread-safe: the caller serialises
// every call.
class InputDatagramFilter {
 public:
  using TickClock = std::function<uint64_t()>;

  explicit InputDatagramFilter(TickClock tick_ms = TickCountMs);

  InputDecision Decide(std::span<const uint8_t> datagram, const DatagramSource& source,
                       const InputSessionState& session);
  // A new session key: counters start over.
  void RestartReplayWindow() { replay_window_.Reset(); }
  // A new control connection: no address is bound to it yet.
  void StartConnection() { bound_address_.clear(); }

 private:
  // At most one line per second, so that a flood cannot flood the log too.
  void WarnDropped(const DatagramSource& source, const char* reason);
  // Whether a bare datagram comes from the control client, binding the sender's address
  // when it is the first punch over the USB route.
  bool FromControlClient(std::span<const uint8_t> payload, const DatagramSource& source,
                         const InputSessionState& session);

  TickClock tick_ms_;
  ReplayWindow replay_window_;
  std::string bound_address_;
  uint64_t dropped_ = 0;
  std::optional<uint64_t> last_warning_ms_;
};

}  // namespace orvane
