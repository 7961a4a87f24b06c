#include "net/udp_media_sender.h"

#include <algorithm>

#include "base/logger.h"
#include "security/secure_envelope.h"

namespace orvane {
namespace {

constexpr int kSendBufferSize = 2 * 1024 * 1024;
// Fragments per lock and system call: a whole P-frame at usual rates, a keyframe in a few.
constexpr size_t kBatchSize = 32;
constexpr size_t kTagSize = 16;
constexpr size_t kSlotSize = kEnvelopeHeaderSize + kMaxMediaPacketSize + kTagSize;

}  // namespace

UdpMediaSender::~UdpMediaSender() {
  Close();
}

Status UdpMediaSender::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseSocket(socket_);
  remote_configured_ = false;
  socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket_ == kInvalidSocket) {
    const int error = LastSocketError();
    LOG_ERROR("[UDPSend] socket() failed: %d", error);
    return Status::Failure(StatusCode::kSocketSetup, "UDP sender socket() failed",
                           HresultFromOsError(error));
  }
  // Left unbound: the system picks the source port at the first send.
  SetSocketOption(socket_, SOL_SOCKET, SO_SNDBUF, kSendBufferSize);
  return Status::Success();
}

void UdpMediaSender::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
  remote_configured_ = false;
}

Status UdpMediaSender::SetRemote(const std::string& address, uint16_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  remote_ = {};
  remote_.sin_family = AF_INET;
  remote_.sin_port = htons(port);
  // Numeric text only: a name lookup here could stall the media send path for seconds.
  remote_configured_ = inet_pton(AF_INET, address.c_str(), &remote_.sin_addr) == 1;
  if (!remote_configured_) {
    remote_ = {};
    return Status::Failure(StatusCode::kSocketSetup, "Invalid UDP remote address");
  }
  return Status::Success();
}

void UdpMediaSender::SetSessionKey(std::span<const uint8_t> key) {
  std::lock_guard<std::mutex> lock(mutex_);
  key_.assign(key.begin(), key.end());
}

void UdpMediaSender::SetEnvelopeCounter(uint64_t counter) {
  std::lock_guard<std::mutex> lock(mutex_);
  counter_ = counter;
}

uint8_t* UdpMediaSender::PacketSlot(size_t slot) {
  if (slots_.empty()) {
    slots_.resize(kBatchSize * kSlotSize);
    batch_.reserve(kBatchSize);
  }
  return slots_.data() + slot * kSlotSize + kEnvelopeHeaderSize;
}

Status UdpMediaSender::SendVideoFrame(uint32_t frame_number, uint64_t timestamp_us, bool keyframe,
                                      const uint8_t* data, uint32_t size) {
  if (data == nullptr || size == 0) {
    return Status::Failure(StatusCode::kResource, "Video frame payload is empty");
  }
  const uint32_t count =
      static_cast<uint32_t>((uint64_t{size} + kMaxMediaPayloadSize - 1) / kMaxMediaPayloadSize);
  if (count > kMaxVideoFragments) {
    return Status::Failure(StatusCode::kSend, "Video frame exceeds 65535 UDP fragments");
  }
  VideoFragmentHeader header;
  header.frame_number = frame_number;
  header.timestamp_us = timestamp_us;
  header.count = static_cast<uint16_t>(count);
  std::array<size_t, kBatchSize> packet_sizes{};
  for (uint32_t first = 0; first < count; first += kBatchSize) {
    const size_t in_batch = std::min<size_t>(kBatchSize, count - first);
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t slot = 0; slot < in_batch; ++slot) {
      const uint32_t index = first + static_cast<uint32_t>(slot);
      header.index = static_cast<uint16_t>(index);
      header.flags = index == 0 && keyframe ? kKeyframeFlag : 0;
      const size_t offset = size_t{index} * kMaxMediaPayloadSize;
      const size_t length = std::min<size_t>(kMaxMediaPayloadSize, size - offset);
      uint8_t* packet = PacketSlot(slot);
      WriteVideoFragmentHeader(header,
                               std::span<uint8_t, kVideoHeaderSize>(packet, kVideoHeaderSize));
      std::copy(data + offset, data + offset + length, packet + kVideoHeaderSize);
      packet_sizes[slot] = kVideoHeaderSize + length;
    }
    Status status = SendBatchLocked(packet_sizes.data(), in_batch);
    if (!status.ok) {
      return status;
    }
  }
  return Status::Success();
}

Status UdpMediaSender::SendAudioPacket(uint32_t sequence, uint64_t timestamp_us,
                                       uint8_t duration_ms, const uint8_t* data, uint32_t size) {
  if (size > kMaxMediaPayloadSize) {
    return Status::Failure(StatusCode::kSend, "Audio packet exceeds UDP MTU-safe payload");
  }
  if (data == nullptr && size > 0) {
    return Status::Failure(StatusCode::kResource, "Audio packet payload is missing");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  uint8_t* packet = PacketSlot(0);
  WriteAudioPacketHeader({duration_ms, sequence, timestamp_us},
                         std::span<uint8_t, kAudioHeaderSize>(packet, kAudioHeaderSize));
  if (size > 0) {
    std::copy(data, data + size, packet + kAudioHeaderSize);
  }
  const size_t packet_size = kAudioHeaderSize + size;
  return SendBatchLocked(&packet_size, 1);
}

Status UdpMediaSender::SendBatchLocked(const size_t* packet_sizes, size_t count) {
  if (!remote_configured_ || socket_ == kInvalidSocket) {
    return Status::Failure(StatusCode::kSend, "UDP remote is not configured");
  }
  const bool sealed = !key_.empty();
  const uint64_t first_counter = counter_;
  batch_.clear();
  bool seal_failed = false;
  for (size_t slot = 0; slot < count; ++slot) {
    uint8_t* packet = PacketSlot(slot);
    if (!sealed) {
      batch_.push_back({packet, packet_sizes[slot]});
      continue;
    }
    // The value is used up even when sealing or sending fails: a nonce is never reused.
    const std::span<uint8_t> datagram(packet - kEnvelopeHeaderSize,
                                      kEnvelopeHeaderSize + packet_sizes[slot] + kTagSize);
    if (!SealEnvelopeInPlace(key_, kMediaDirection, counter_++, datagram)) {
      seal_failed = true;
      break;
    }
    batch_.push_back({datagram.data(), datagram.size()});
  }
  // The datagrams before a failure still go out, as they would one by one.
  const size_t sent = SendDatagrams(socket_, batch_, remote_);
  if (sent < batch_.size()) {
    const int error = LastSocketError();
    // Values after the failed datagram were never on the wire: the next batch takes them.
    if (sealed) {
      counter_ = first_counter + sent + 1;
    }
    return Status::Failure(
        StatusCode::kSend,
        sealed ? "sendto() failed for encrypted UDP payload" : "sendto() failed for UDP payload",
        HresultFromOsError(error));
  }
  if (seal_failed) {
    return Status::Failure(StatusCode::kResource, "Failed to encrypt UDP payload");
  }
  return Status::Success();
}

}  // namespace orvane
