#include "net/media_packet.h"

#include "base/byte_order.h"

namespace orvane {
namespace {

bool HasTypeAndSize(std::span<const uint8_t> packet, MediaPacketType type, size_t header_size) {
  return packet.size() >= header_size && packet.size() <= header_size + kMaxMediaPayloadSize &&
         packet[0] == kMediaFormat && packet[1] == static_cast<uint8_t>(type);
}

}  // namespace

void WriteVideoFragmentHeader(const VideoFragmentHeader& header,
                              std::span<uint8_t, kVideoHeaderSize> out) {
  out[0] = kMediaFormat;
  out[1] = static_cast<uint8_t>(MediaPacketType::kVideo);
  out[2] = header.flags;
  out[3] = 0;
  StoreBigEndian32(header.frame_number, &out[4]);
  StoreBigEndian64(header.timestamp_us, &out[8]);
  StoreBigEndian16(header.index, &out[16]);
  StoreBigEndian16(header.count, &out[18]);
}

void WriteAudioPacketHeader(const AudioPacketHeader& header,
                            std::span<uint8_t, kAudioHeaderSize> out) {
  out[0] = kMediaFormat;
  out[1] = static_cast<uint8_t>(MediaPacketType::kAudio);
  out[2] = 0;
  out[3] = header.duration_ms;
  StoreBigEndian32(header.sequence, &out[4]);
  StoreBigEndian64(header.timestamp_us, &out[8]);
}

std::optional<VideoFragment> ParseVideoFragment(std::span<const uint8_t> packet) {
  if (!HasTypeAndSize(packet, MediaPacketType::kVideo, kVideoHeaderSize) ||
      packet.size() == kVideoHeaderSize) {
    return std::nullopt;
  }
  VideoFragment fragment;
  fragment.header.flags = packet[2];
  fragment.header.frame_number = LoadBigEndian32(&packet[4]);
  fragment.header.timestamp_us = LoadBigEndian64(&packet[8]);
  fragment.header.index = LoadBigEndian16(&packet[16]);
  fragment.header.count = LoadBigEndian16(&packet[18]);
  if (fragment.header.index >= fragment.header.count) {
    return std::nullopt;
  }
  fragment.payload = packet.subspan(kVideoHeaderSize);
  return fragment;
}

std::optional<AudioPacket> ParseAudioPacket(std::span<const uint8_t> packet) {
  if (!HasTypeAndSize(packet, MediaPacketType::kAudio, kAudioHeaderSize)) {
    return std::nullopt;
  }
  AudioPacket audio;
  audio.header.duration_ms = packet[3];
  audio.header.sequence = LoadBigEndian32(&packet[4]);
  audio.header.timestamp_us = LoadBigEndian64(&packet[8]);
  audio.payload = packet.subspan(kAudioHeaderSize);
  return audio;
}

}  // namespace orvane
