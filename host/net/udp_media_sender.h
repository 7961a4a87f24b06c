#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "net/media_packet.h"
#include "platform/socket.h"

namespace orvane {

// Carries all media from host to client over one IPv4 UDP socket: access units cut into
// fragments of at most 1400 bytes, Opus packets whole, each datagram sealed in the
// secure envelope (media direction) while a session key is set. No retransmission,
// pacing or acknowledgement: a lost datagram is lost.
//
// Video and audio may be sent from different threads at once and never share an envelope
// counter value. The fragments of an access unit go out in batches, each under one lock
// and one system call where the platform allows, so audio falls between batches.
class UdpMediaSender {
 public:
  UdpMediaSender() = default;
  ~UdpMediaSender();
  UdpMediaSender(const UdpMediaSender&) = delete;
  UdpMediaSender& operator=(const UdpMediaSender&) = delete;

  Status Open();
  // Closes the socket and forgets the remote; the key and the counter stay. Idempotent.
  void Close();

  // `address` is dotted IPv4 text; a host name is refused. A failure leaves the sender
  // without a remote.
  Status SetRemote(const std::string& address, uint16_t port);

  // An empty key sends datagrams bare. The counter numbers sealed datagrams; it is never
  // reset while a key is set, so the streams of one session continue one sequence.
  void SetSessionKey(std::span<const uint8_t> key);
  void SetEnvelopeCounter(uint64_t counter);

  // Each call says how it went to its own caller: video and audio go out from different
  // threads, so a status kept for later would be the other thread's as often as not.
  Status SendVideoFrame(uint32_t frame_number, uint64_t timestamp_us, bool keyframe,
                        const uint8_t* data, uint32_t size);
  Status SendAudioPacket(uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms,
                         const uint8_t* data, uint32_t size);

 private:
  // Where the packet of datagram `slot` of a batch is written, ahead of sealing.
  uint8_t* PacketSlot(size_t slot);
  // Sends the packets written to the first `count` slots, sealed in place when a key is
  // set, in order; stops at the first that fails. The caller holds mutex_.
  Status SendBatchLocked(const size_t* packet_sizes, size_t count);

  mutable std::mutex mutex_;
  SocketHandle socket_ = kInvalidSocket;
  sockaddr_in remote_{};
  bool remote_configured_ = false;
  std::vector<uint8_t> key_;
  uint64_t counter_ = 0;
  // One batch of datagrams, each slot with room for the envelope header, a packet and the
  // tag, reused so that the send path does not allocate.
  std::vector<uint8_t> slots_;
  std::vector<OutgoingDatagram> batch_;
};

}  // namespace orvane
