#include "client/pairing_proof.h"

#include <algorithm>

#include "security/session_crypto.h"

namespace orvane::client {

std::vector<uint8_t> PairingProof(const std::string& code, const std::string& client_id,
                                  std::span<const uint8_t> client_public_key) {
  const auto* code_bytes = reinterpret_cast<const uint8_t*>(code.data());
  return SessionCrypto::HmacSha256({code_bytes, code.size()}, client_id.c_str(), client_public_key);
}

bool IsPairingCodeText(const std::string& code) {
  return code.size() == 6 &&
         std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace orvane::client
