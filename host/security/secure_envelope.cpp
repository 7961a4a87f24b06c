#include "security/secure_envelope.h"

#include <algorithm>
#include <array>

#include "base/byte_order.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

constexpr std::array<uint8_t, 4> kMagic = {'O', 'R', 'V', '1'};
constexpr size_t kFlagOffset = 4;
constexpr size_t kCounterOffset = 5;

// Sizes `envelope` for `payload_size` bytes after the header and writes the header.
void WriteEnvelopeHeader(uint8_t flags, uint64_t counter, uint8_t* header) {
  std::copy(kMagic.begin(), kMagic.end(), header);
  header[kFlagOffset] = flags;
  StoreBigEndian64(counter, header + kCounterOffset);
}

void StartEnvelope(uint8_t flags, uint64_t counter, size_t payload_size,
                   std::vector<uint8_t>& envelope) {
  envelope.resize(kEnvelopeHeaderSize + payload_size);
  WriteEnvelopeHeader(flags, counter, envelope.data());
}

}  // namespace

EnvelopeView ParseEnvelope(std::span<const uint8_t> buffer) {
  if (buffer.size() < kEnvelopeHeaderSize ||
      !std::equal(kMagic.begin(), kMagic.end(), buffer.begin())) {
    return {EnvelopeKind::kBare, 0, buffer};
  }
  const bool sealed = (buffer[kFlagOffset] & kEnvelopeEncryptedFlag) != 0;
  return {sealed ? EnvelopeKind::kSealed : EnvelopeKind::kClear,
          LoadBigEndian64(buffer.data() + kCounterOffset), buffer.subspan(kEnvelopeHeaderSize)};
}

std::optional<std::vector<uint8_t>> OpenEnvelope(std::span<const uint8_t> buffer,
                                                 std::span<const uint8_t> key, uint32_t direction) {
  const EnvelopeView view = ParseEnvelope(buffer);
  if (view.kind != EnvelopeKind::kSealed) {
    return std::vector<uint8_t>(view.payload.begin(), view.payload.end());
  }
  std::vector<uint8_t> plaintext =
      SessionCrypto::DecryptPayload(key, direction, view.counter, view.payload);
  if (plaintext.empty()) {
    return std::nullopt;
  }
  return plaintext;
}

bool SealEnvelope(std::span<const uint8_t> key, uint32_t direction, uint64_t counter,
                  std::span<const uint8_t> plaintext, std::vector<uint8_t>& envelope) {
  StartEnvelope(kEnvelopeEncryptedFlag, counter, plaintext.size() + SessionCrypto::kTagSize,
                envelope);
  if (!SessionCrypto::EncryptPayloadInto(
          key, direction, counter, plaintext, {},
          std::span<uint8_t>(envelope).subspan(kEnvelopeHeaderSize))) {
    envelope.clear();
    return false;
  }
  return true;
}

bool SealEnvelopeInPlace(std::span<const uint8_t> key, uint32_t direction, uint64_t counter,
                         std::span<uint8_t> datagram) {
  if (datagram.size() < kEnvelopeHeaderSize + SessionCrypto::kTagSize) {
    return false;
  }
  WriteEnvelopeHeader(kEnvelopeEncryptedFlag, counter, datagram.data());
  const std::span<uint8_t> sealed = datagram.subspan(kEnvelopeHeaderSize);
  return SessionCrypto::EncryptPayloadInto(
      key, direction, counter, sealed.first(sealed.size() - SessionCrypto::kTagSize), {}, sealed);
}

void WriteClearEnvelope(uint64_t counter, std::span<const uint8_t> payload,
                        std::vector<uint8_t>& envelope) {
  StartEnvelope(0x00, counter, payload.size(), envelope);
  std::copy(payload.begin(), payload.end(), envelope.begin() + kEnvelopeHeaderSize);
}

}  // namespace orvane
