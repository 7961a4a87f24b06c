#include "client/media_receiver.h"

#include <algorithm>
#include <optional>

#include "security/secure_envelope.h"

namespace orvane::client {
namespace {

// Room for the largest sealed media datagram, and for a larger one to be reported
// as too long rather than cut short.
constexpr size_t kDatagramBufferSize = 2048;
// A keyframe arrives as a burst of datagrams; the default buffer of some systems holds
// only a few dozen of them.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

}  // namespace

MediaReceiver::~MediaReceiver() {
  Close();
}

bool MediaReceiver::Open(uint16_t port) {
  Close();
  socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_ == kInvalidSocket) {
    return Fail("cannot create the media socket");
  }
  SetSocketOption(socket_, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t size = sizeof(local);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
      getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    Fail("cannot bind the media port " + std::to_string(port) + " (error " +
         std::to_string(LastSocketError()) + ")");
    Close();
    return false;
  }
  port_ = ntohs(local.sin_port);
  receive_timeout_ms_ = 0;
  datagram_.resize(kDatagramBufferSize);
  last_error_.clear();
  return true;
}

void MediaReceiver::Close() {
  if (socket_ != kInvalidSocket) {
    CloseSocket(socket_);
    socket_ = kInvalidSocket;
  }
  port_ = 0;
}

bool MediaReceiver::Receive(std::chrono::milliseconds wait, ReceivedMedia& media) {
  media = ReceivedMedia{};
  if (socket_ == kInvalidSocket) {
    return Fail("the media socket is not open");
  }
  // Zero would mean "no limit" to the system.
  const auto wait_ms = static_cast<uint32_t>(std::max<int64_t>(1, wait.count()));
  if (wait_ms != receive_timeout_ms_) {
    SetReceiveTimeout(socket_, wait_ms);
    receive_timeout_ms_ = wait_ms;
  }
  sockaddr_in from{};
  const int received = ReceiveDatagram(socket_, datagram_.data(), datagram_.size(), from);
  if (received < 0) {
    const int error = LastSocketError();
    if (IsTimeoutError(error) || IsTransientDatagramError(error)) {
      return true;
    }
    return Fail("media receive failed (error " + std::to_string(error) + ")");
  }
  const std::span<const uint8_t> datagram(datagram_.data(), static_cast<size_t>(received));
  const EnvelopeView envelope = ParseEnvelope(datagram);
  media.sealed = envelope.kind == EnvelopeKind::kSealed;
  media.counter = envelope.counter;
  std::optional<std::vector<uint8_t>> opened = OpenEnvelope(datagram, key_, kMediaDirection);
  if (!opened) {
    media.kind = MediaKind::kUnopenable;
    return true;
  }
  payload_ = std::move(*opened);
  if (const auto fragment = ParseVideoFragment(payload_)) {
    media.kind = MediaKind::kVideo;
    media.video = *fragment;
  } else if (const auto packet = ParseAudioPacket(payload_)) {
    media.kind = MediaKind::kAudio;
    media.audio = *packet;
  } else {
    media.kind = MediaKind::kMalformed;
  }
  return true;
}

bool MediaReceiver::Fail(const std::string& what) {
  last_error_ = what;
  return false;
}

}  // namespace orvane::client
