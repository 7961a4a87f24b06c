#include "net/udp_media_sender.h"

#include <algorithm>

#include "base/logger.h"
#include "security/secure_envelope.h"

namespace orvane {
namespace {

constexpr int kSendBufferSize = 2 * 1024 * 1024;

}  // namespace

UdpMediaSender::~UdpMediaSender() {
  Close();
}

bool UdpMediaSender::FailLocked(StatusCode code, const char* message, uint32_t hr) {
  last_status_ = Status::Failure(code, message, hr);
  return false;
}

Status UdpMediaSender::LastStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_status_;
}

bool UdpMediaSender::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseSocket(socket_);
  remote_configured_ = false;
  socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_ == kInvalidSocket) {
    const int error = LastSocketError();
    LOG_ERROR("[UDPSend] socket() failed: %d", error);
    return FailLocked(StatusCode::kSocketSetup, "UDP sender socket() failed",
                      HresultFromOsError(error));
  }
  // Left unbound: the system picks the source port at the first send.
  SetSocketOption(socket_, SOL_SOCKET, SO_SNDBUF, kSendBufferSize);
  last_status_ = Status::Success();
  return true;
}

void UdpMediaSender::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
  remote_configured_ = false;
  last_status_ = Status::Success();
}

bool UdpMediaSender::SetRemote(const std::string& address, uint16_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  remote_ = {};
  remote_.sin_family = AF_INET;
  remote_.sin_port = htons(port);
  // Numeric text only: a name lookup here could stall the media send path for seconds.
  remote_configured_ = inet_pton(AF_INET, address.c_str(), &remote_.sin_addr) == 1;
  if (!remote_configured_) {
    remote_ = {};
    return FailLocked(StatusCode::kSocketSetup, "Invalid UDP remote address");
  }
  last_status_ = Status::Success();
  return true;
}

void UdpMediaSender::SetSessionKey(std::span<const uint8_t> key) {
  std::lock_guard<std::mutex> lock(mutex_);
  key_.assign(key.begin(), key.end());
}

void UdpMediaSender::SetEnvelopeCounter(uint64_t counter) {
  std::lock_guard<std::mutex> lock(mutex_);
  counter_ = counter;
}

bool UdpMediaSender::SendVideoFrame(uint32_t frame_number, uint64_t timestamp_us, bool keyframe,
                                    const uint8_t* data, uint32_t size) {
  if (data == nullptr || size == 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    return FailLocked(StatusCode::kResource, "Video frame payload is empty");
  }
  const uint32_t count =
      static_cast<uint32_t>((uint64_t{size} + kMaxMediaPayloadSize - 1) / kMaxMediaPayloadSize);
  if (count > kMaxVideoFragments) {
    std::lock_guard<std::mutex> lock(mutex_);
    return FailLocked(StatusCode::kSend, "Video frame exceeds 65535 UDP fragments");
  }
  VideoFragmentHeader header;
  header.frame_number = frame_number;
  header.timestamp_us = timestamp_us;
  header.count = static_cast<uint16_t>(count);
  const std::span<const uint8_t> unit(data, size);
  for (uint32_t index = 0; index < count; ++index) {
    header.index = static_cast<uint16_t>(index);
    header.flags = index == 0 && keyframe ? kKeyframeFlag : 0;
    const size_t offset = size_t{index} * kMaxMediaPayloadSize;
    const size_t length = std::min(kMaxMediaPayloadSize, unit.size() - offset);
    if (!SendVideoFragment(header, unit.subspan(offset, length))) {
      return false;
    }
  }
  return true;
}

bool UdpMediaSender::SendVideoFragment(const VideoFragmentHeader& header,
                                       std::span<const uint8_t> fragment) {
  std::lock_guard<std::mutex> lock(mutex_);
  WriteVideoFragmentHeader(header, std::span(packet_).first<kVideoHeaderSize>());
  std::copy(fragment.begin(), fragment.end(), packet_.begin() + kVideoHeaderSize);
  return SendPacketLocked(kVideoHeaderSize + fragment.size());
}

bool UdpMediaSender::SendAudioPacket(uint32_t sequence, uint64_t timestamp_us, uint8_t duration_ms,
                                     const uint8_t* data, uint32_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (size > kMaxMediaPayloadSize) {
    return FailLocked(StatusCode::kSend, "Audio packet exceeds UDP MTU-safe payload");
  }
  if (data == nullptr && size > 0) {
    return FailLocked(StatusCode::kResource, "Audio packet payload is missing");
  }
  WriteAudioPacketHeader({duration_ms, sequence, timestamp_us},
                         std::span(packet_).first<kAudioHeaderSize>());
  if (size > 0) {
    std::copy(data, data + size, packet_.begin() + kAudioHeaderSize);
  }
  return SendPacketLocked(kAudioHeaderSize + size);
}

bool UdpMediaSender::SendPacketLocked(size_t size) {
  if (!remote_configured_ || socket_ == kInvalidSocket) {
    return FailLocked(StatusCode::kSend, "UDP remote is not configured");
  }
  const std::span<const uint8_t> packet(packet_.data(), size);
  if (key_.empty()) {
    if (SendDatagram(socket_, packet.data(), packet.size(), remote_) < 1) {
      return FailLocked(StatusCode::kSend, "sendto() failed for UDP payload",
                        HresultFromOsError(LastSocketError()));
    }
    last_status_ = Status::Success();
    return true;
  }
  // The value is used up even when sealing or sending fails: a nonce is never reused.
  const uint64_t counter = counter_++;
  if (!SealEnvelope(key_, kMediaDirection, counter, packet, envelope_)) {
    return FailLocked(StatusCode::kResource, "Failed to encrypt UDP payload");
  }
  if (SendDatagram(socket_, envelope_.data(), envelope_.size(), remote_) < 1) {
    return FailLocked(StatusCode::kSend, "sendto() failed for encrypted UDP payload",
                      HresultFromOsError(LastSocketError()));
  }
  last_status_ = Status::Success();
  return true;
}

}  // namespace orvane
