#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace orvane {

// A control frame, in both directions: the payload length as 4 bytes big-endian, then the
// payload. Shared by the host's control server and the client.
inline constexpr size_t kControlFrameHeaderSize = 4;
// A received length must lie between 1 and this; anything else breaks the stream.
inline constexpr uint32_t kMaxControlFrameSize = 1048576;

using ControlFrameHeader = std::array<uint8_t, kControlFrameHeaderSize>;

// The header in front of a payload of `size` bytes. Senders add no check of their own.
ControlFrameHeader EncodeControlFrameHeader(uint32_t size);

// The payload length a received header announces.
uint32_t DecodeControlFrameHeader(std::span<const uint8_t, kControlFrameHeaderSize> header);

// False for 0 and for lengths above kMaxControlFrameSize.
bool IsValidControlFrameSize(uint32_t size);

}  // namespace orvane
