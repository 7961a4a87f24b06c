#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "net/media_packet.h"
#include "platform/socket.h"

namespace orvane::client {

enum class MediaKind {
  kNone,        // nothing arrived within the wait
  kVideo,       // `video` holds the fragment
  kAudio,       // `audio` holds the packet
  kUnopenable,  // a sealed datagram that the key does not open
  kMalformed,   // opened, but not a valid media packet
};

// The payload spans point into the receiver and stay valid until its next Receive.
struct ReceivedMedia {
  MediaKind kind = MediaKind::kNone;
  // Whether the datagram came sealed, and under which envelope counter.
  bool sealed = false;
  uint64_t counter = 0;
  VideoFragment video;
  AudioPacket audio;
};

// The client's media port: one IPv4 UDP socket on which the host's video fragments and
// audio packets arrive, bare or sealed in the media direction. Used from one thread.
class MediaReceiver {
 public:
  MediaReceiver() = default;
  ~MediaReceiver();
  MediaReceiver(const MediaReceiver&) = delete;
  MediaReceiver& operator=(const MediaReceiver&) = delete;

  // Binds every local IPv4 address on `port`; 0 lets the system pick one.
  bool Open(uint16_t port);
  void Close();
  uint16_t port() const { return port_; }
  // For sending punches from this port, so that the host aims its media here.
  SocketHandle socket() const { return socket_; }

  // Sealed datagrams are opened with this key; bare ones are always taken.
  void SetKey(std::span<const uint8_t> key) { key_.assign(key.begin(), key.end()); }

  // False only when the socket itself failed (see last_error); a wait that runs out
  // returns true with kind kNone.
  bool Receive(std::chrono::milliseconds wait, ReceivedMedia& media);

  const std::string& last_error() const { return last_error_; }

 private:
  bool Fail(const std::string& what);

  SocketHandle socket_ = kInvalidSocket;
  uint16_t port_ = 0;
  uint32_t receive_timeout_ms_ = 0;
  std::vector<uint8_t> key_;
  std::vector<uint8_t> datagram_;
  std::vector<uint8_t> payload_;
  std::string last_error_;
};

}  // namespace orvane::client
