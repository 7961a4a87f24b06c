#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"
#include "security/trust_store.h"
#include "services/file_transfer_receiver.h"
#include "session/platform_services.h"

namespace orvane {

// What a session is built from; tests replace the trust folder, the clock that times
// warm-up and bitrate decisions, where received files go, and any platform service.
struct SessionEnvironment {
  TrustStoreEnvironment trust = TrustStoreEnvironment::System();
  PlatformServices platform;
  FileTransferEnvironment file_transfer = FileTransferEnvironment::System();
  std::function<uint64_t()> now_us = MonotonicMicros;
};

}  // namespace orvane
