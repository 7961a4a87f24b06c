#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "security/session_crypto.h"

namespace orvane::client {

// The two keys the host derives from one Hello; both empty when there is no key.
struct SessionKeys {
  std::vector<uint8_t> primary;
  std::vector<uint8_t> compatibility;
};

// ECDH gives both ends the same shared X coordinate, and SessionCrypto hands it out in
// the same little-endian order on every platform, so the client's two derivations are
// the host's: HKDF over the little-endian secret is the host's primary key, HKDF over
// the big-endian X (the SEC 1 secret a stock mobile crypto library yields) is its
// compatibility key. Like the host, no keys at all when the primary one fails.
SessionKeys DeriveSessionKeys(const SessionCrypto& crypto, const EcdhPrivateKey* own_private_key,
                              std::span<const uint8_t> host_public_key);

}  // namespace orvane::client
