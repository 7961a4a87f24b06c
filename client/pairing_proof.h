#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane::client {

// HMAC-SHA256 keyed with the code's ASCII digits over the client id (up to its first NUL)
// followed by the ephemeral public key that the same Hello carries. Binding the key makes
// a proof seen on one connection useless on any other. Empty on failure.
std::vector<uint8_t> PairingProof(const std::string& code, const std::string& client_id,
                                  std::span<const uint8_t> client_public_key);

// Six ASCII digits, as the host shows them.
bool IsPairingCodeText(const std::string& code);

}  // namespace orvane::client
