#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace orvane {

// Media datagrams from host to client, before any envelope. Every datagram starts with
// the format byte and the packet type; the rest of the header depends on the type.
// The datagram a client sends to the input port to have media sent to its source port.
inline constexpr std::string_view kPunchPayload = "ORVMP1";

inline constexpr uint8_t kMediaFormat = 1;
enum class MediaPacketType : uint8_t { kVideo = 1, kAudio = 2 };

// 1400 payload bytes keep a sealed video datagram (1449 bytes) within a 1500-byte
// Ethernet MTU together with the IPv4 and UDP headers.
inline constexpr size_t kMaxMediaPayloadSize = 1400;
inline constexpr size_t kVideoHeaderSize = 20;
inline constexpr size_t kAudioHeaderSize = 16;
inline constexpr size_t kMaxMediaPacketSize = kVideoHeaderSize + kMaxMediaPayloadSize;

// The fragment count is 16 bits wide, which bounds one access unit.
inline constexpr uint32_t kMaxVideoFragments = 65535;

// Set on the first fragment of a keyframe access unit only.
inline constexpr uint8_t kKeyframeFlag = 0x01;

struct VideoFragmentHeader {
  uint8_t flags = 0;
  uint32_t frame_number = 0;
  uint64_t timestamp_us = 0;
  uint16_t index = 0;
  uint16_t count = 0;
};

struct AudioPacketHeader {
  uint8_t duration_ms = 0;
  uint32_t sequence = 0;
  uint64_t timestamp_us = 0;
};

void WriteVideoFragmentHeader(const VideoFragmentHeader& header,
                              std::span<uint8_t, kVideoHeaderSize> out);
void WriteAudioPacketHeader(const AudioPacketHeader& header,
                            std::span<uint8_t, kAudioHeaderSize> out);

struct VideoFragment {
  VideoFragmentHeader header;
  std::span<const uint8_t> payload;
};

struct AudioPacket {
  AudioPacketHeader header;
  std::span<const uint8_t> payload;
};

// nullopt unless the packet is well formed for its type: a video fragment carries 1 to
// 1400 bytes and an index below its count; an audio packet carries at most 1400 bytes.
std::optional<VideoFragment> ParseVideoFragment(std::span<const uint8_t> packet);
std::optional<AudioPacket> ParseAudioPacket(std::span<const uint8_t> packet);

}  // namespace orvane
