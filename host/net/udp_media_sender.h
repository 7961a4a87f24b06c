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
// Video and audio may be sent from different threads at once; they interleave datagram
// by datagram and never share an envelope counter value.
class UdpMediaSender {
 public:
  UdpMediaSender() = default;
  ~UdpMediaSender();
  UdpMediaSender(const UdpMediaSender&) = delete;
  UdpMediaSender& operator=(const UdpMediaSender&) = delete;

  bool Open();
  // Closes the socket and forgets the remote; the key and the counter stay. Idempotent.
  void Close();

  // `address` is dotted IPv4 text; a host name is refused. A failure leaves the sender
  // without a remote.
  bool SetRemote(const std::string& address, uint16_t port);

  // An empty key sends datagrams bare. The counter numbers sealed datagrams; it is never
  // reset while a key is set, so the streams of one session continue one sequence.
  void SetSessionKey(std::span<const uint8_t> key);
  void SetEnvelopeCounter(uint64_t counter);

  bool SendVideoFrame(uint32_t frame_number, uint64_t timestamp_us, bool keyframe,
                      const uint8_t* data, uint32_t size);
  bool SendAudioPacket(uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms,
                       const uint8_t* data, uint32_t size);

  Status LastStatus() const;

 private:
  bool SendVideoFragment(const VideoFragmentHeader& header, std::span<const uint8_t> fragment);
  // Sends the first `size` bytes of packet_; the caller holds mutex_.
  bool SendPacketLocked(size_t size);
  bool FailLocked(StatusCode code, const char* message, uint32_t hr = kHresultFail);

  mutable std::mutex mutex_;
  SocketHandle socket_ = kInvalidSocket;
  sockaddr_in remote_{};
  bool remote_configured_ = false;
  std::vector<uint8_t> key_;
  uint64_t counter_ = 0;
  Status last_status_;
  // Reused for every datagram so that the send path does not allocate.
  std::array<uint8_t, kMaxMediaPacketSize> packet_{};
  std::vector<uint8_t> envelope_;
};

}  // namespace orvane
