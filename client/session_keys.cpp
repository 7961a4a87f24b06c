#include "client/session_keys.h"

namespace orvane::client {

SessionKeys DeriveSessionKeys(const SessionCrypto& crypto, const EcdhPrivateKey* own_private_key,
                              std::span<const uint8_t> host_public_key) {
  SessionKeys keys;
  keys.primary = crypto.DeriveSessionKey(own_private_key, host_public_key, {}, false);
  if (!keys.primary.empty()) {
    keys.compatibility = crypto.DeriveSessionKey(own_private_key, host_public_key, {}, true);
  }
  return keys;
}

}  // namespace orvane::client
