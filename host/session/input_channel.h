#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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
// the transport has promoted but the session has not yet set up can do nothing. When a
// client goes, whatever it still held down (keys, fingers, pen, buttons) is released.
class InputChannel {
 public:
  InputChannel(ProtocolHandler& handler, TcpControlServer& control_server,
               UdpMediaSender& media_sender);
  InputChannel(const InputChannel&) = delete;
  InputChannel& operator=(const InputChannel&) = delete;

  // Before Start: where input goes; without an injector events are accepted and dropped.
  void SetInjector(std::unique_ptr<InputInjector> injector);

  Status Start(uint16_t port);
  // Idempotent; safe from any thread. Releases what the last client held.
  void Stop();

  // A client became active: what the previous one held is released, and datagrams are
  // judged against the new one from now on, with no key until its stream starts.
  void AdoptClient(uint64_t connection_id, std::string address);
  // The adopted client is gone: what it held is released and nobody may act until the
  // next adoption.
  void EndClient();
  // Stream start: the key sealed datagrams must open with (empty: none).
  void StartStream(std::vector<uint8_t> key);
  // The capture output being streamed: input maps onto its monitor.
  void SetStreamedOutput(uint32_t output_index);

 private:
  struct AdoptedClient {
    uint64_t connection_id = 0;
    std::string address;
    std::vector<uint8_t> key;
  };

  // Receive thread.
  void HandleDatagram(std::span<const uint8_t> datagram, const DatagramSource& source);
  void MoveMediaEndpoint(const DatagramSource& endpoint);
  void Inject(const protocol::v1::InputEvent& event);
  void ReleaseHeldInput();
  // Receive thread, before every wait: held contacts are injected again in time.
  std::optional<std::chrono::milliseconds> Tick();

  ProtocolHandler& handler_;
  TcpControlServer& control_server_;
  UdpMediaSender& media_sender_;
  InputDatagramFilter filter_;  // under mutex_
  UdpInputReceiver receiver_;

  // Guards the adopted client and the injector. The receive thread holds it for the
  // whole handling of a datagram, so no input of a client lands after the release that
  // ended it.
  std::mutex mutex_;
  AdoptedClient client_;
  std::unique_ptr<InputInjector> injector_;
  uint32_t streamed_output_ = 0;
};

}  // namespace orvane
