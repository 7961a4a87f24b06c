#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "security/trust_store.h"

namespace orvane::fuzz {

// Every pairing code the fuzzed host issues: its random source yields only zeros.
inline constexpr const char* kFuzzPairingCode = "000000";

// A trust store that lives in a private temporary folder, draws zeros for its pairing
// codes and sees its clock advance one second per reading, so that every other proof is
// checked. Clear() empties the folder so that one input cannot pair for the next.
class FuzzTrustFolder {
 public:
  FuzzTrustFolder();
  TrustStoreEnvironment Environment();
  void Clear();

 private:
  std::filesystem::path folder_;
  uint64_t tick_ms_ = 0;
};

}  // namespace orvane::fuzz
