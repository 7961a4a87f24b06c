#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"
#include "security/trust_store.h"
#include "session/platform_services.h"

namespace orvane {

// What a session is built from; tests replace the trust folder, the clock that times
// warm-up and bitrate decisions, and any platform service.
struct SessionEnvironment {
  TrustStoreEnvironment trust = TrustStoreEnvironment::System();
  PlatformServices platform;
  std::function<uint64_t()> now_us = MonotonicMicros;
};

}  // namespace orvane
