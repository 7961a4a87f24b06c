#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "input/input_injector.h"
#include "net/input_datagram_filter.h"
#include "net/tcp_control_server.h"
#include "net/udp_input_receiver.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"

namespace orvane {

// The session's input port: decides for every datagram whether it may inject input or
// re-aim the media stream, and does it. Decisions are made against the client the
// session adopted, never against whoever the transport holds at the moment, so a client
// the transport has promoted but the session has not yet set up can do nothing.
class InputChannel {
 public:
  InputChannel(ProtocolHandler& handler, TcpControlServer& control_server,
               UdpMediaSender& media_sender);
  InputChannel(const InputChannel&) = delete;
  InputChannel& operator=(const InputChannel&) = delete;

  // Before Start: where input goes; without an injector events are accepted and dropped.
  void SetInjector(std::unique_ptr<InputInjector> injector);

  bool Start(uint16_t port);
  // Idempotent; safe from any thread.
  void Stop();
  Status LastStatus() const { return receiver_.LastStatus(); }

  // A client became active: datagrams are judged against it from now on, with no key
  // until its stream starts.
  void AdoptClient(uint64_t connection_id, std::string address);
  // Stream start: the key sealed datagrams must open with (empty: none), and the picture
  // size input maps onto.
  void StartStream(std::vector<uint8_t> key, uint32_t width, uint32_t height);

 private:
  struct AdoptedClient {
    uint64_t connection_id = 0;
    std::string address;
    std::vector<uint8_t> key;
    uint32_t width = 0;
    uint32_t height = 0;
  };

  // Receive thread.
  Status HandleDatagram(std::span<const uint8_t> datagram, const DatagramSource& source);
  void MoveMediaEndpoint(const DatagramSource& endpoint);
  void Inject(const protocol::v1::InputEvent& event);

  ProtocolHandler& handler_;
  TcpControlServer& control_server_;
  UdpMediaSender& media_sender_;
  // The injector and what it was last told are the receive thread's alone, so an
  // injector never sees two threads.
  std::unique_ptr<InputInjector> injector_;
  uint32_t injector_width_ = 0;
  uint32_t injector_height_ = 0;
  InputDatagramFilter filter_;
  UdpInputReceiver receiver_;

  mutable std::mutex client_mutex_;
  AdoptedClient client_;
};

}  // namespace orvane
