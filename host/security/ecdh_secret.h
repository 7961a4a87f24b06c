#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// The two forms of peer public key a client may send.
enum class PeerKeyForm {
  kPoint,  // 64 bytes: X || Y
  kXOnly,  // 32 bytes: X alone (the shared X coordinate is the same for either Y)
};

// nullopt for every other length (a 65-byte key with its 0x04 prefix included).
std::optional<PeerKeyForm> PeerKeyFormForSize(size_t size);

// Turns the raw secret, in CNG's little-endian order, into HKDF input. A full point gives
// exactly 32 bytes (left-padded with zeros or cut to its last 32), reversed to big-endian
// when asked; an X-only key always gives the whole secret reversed.
std::vector<uint8_t> ShapeSharedSecret(std::span<const uint8_t> raw_secret, PeerKeyForm form,
                                       bool reverse_secret);

}  // namespace orvane
