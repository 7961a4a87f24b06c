#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// "ORV1", a flag byte (bit 0: encrypted) and the counter (BE64) in front of a payload.
// The header is not authenticated.
inline constexpr size_t kEnvelopeHeaderSize = 13;
inline constexpr uint8_t kEnvelopeEncryptedFlag = 0x01;

// Nonce directions, one per channel, so that no two senders share a nonce under a key.
inline constexpr uint32_t kControlDirection = 1;  // control frames, client to host
inline constexpr uint32_t kMediaDirection = 2;    // media datagrams, host to client
inline constexpr uint32_t kInputDirection = 3;    // input datagrams, client to host

enum class EnvelopeKind {
  kBare,    // no envelope: the whole buffer is the payload
  kClear,   // envelope with bit 0 clear: the payload follows in the clear
  kSealed,  // envelope with bit 0 set: ciphertext and tag follow
};

struct EnvelopeView {
  EnvelopeKind kind = EnvelopeKind::kBare;
  uint64_t counter = 0;              // clear and sealed envelopes only
  std::span<const uint8_t> payload;  // the bytes after the header (the whole buffer if bare)
};

// Classifies one TCP frame payload or datagram; never fails.
EnvelopeView ParseEnvelope(std::span<const uint8_t> buffer);

// Bare and clear payloads are returned as they are; a sealed one is opened with the key,
// the channel's direction and the envelope's counter. nullopt when it does not open, or
// opens to nothing (which cannot be told from a failure). No counter is remembered: there
// is no replay or order check.
std::optional<std::vector<uint8_t>> OpenEnvelope(std::span<const uint8_t> buffer,
                                                 std::span<const uint8_t> key, uint32_t direction);

// Writes the sealed envelope of the plaintext into `envelope` (resized to 29 bytes more
// than the plaintext; its capacity is reused). False, with `envelope` emptied, when the
// payload cannot be sealed.
bool SealEnvelope(std::span<const uint8_t> key, uint32_t direction, uint64_t counter,
                  std::span<const uint8_t> plaintext, std::vector<uint8_t>& envelope);

// Seals a datagram where it lies: `datagram` is the 13 header bytes' room, the plaintext,
// and the 16 tag bytes' room. Writes the header, encrypts the plaintext in place and puts
// the tag after it; the result is what SealEnvelope gives. False when it cannot be sealed.
bool SealEnvelopeInPlace(std::span<const uint8_t> key, uint32_t direction, uint64_t counter,
                         std::span<uint8_t> datagram);

// Writes the clear envelope of the payload (bit 0 unset, the payload as it is) into
// `envelope`, resized to 13 bytes more than the payload.
void WriteClearEnvelope(uint64_t counter, std::span<const uint8_t> payload,
                        std::vector<uint8_t>& envelope);

}  // namespace orvane
