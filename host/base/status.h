#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Status codes shared by every component; the numbers are part of the log format.
enum class StatusCode : int32_t {
  kOk = 0,
  kSocketSetup = 1,
  kSend = 2,
  kReceive = 3,
  kMalformedData = 4,
  kCodec = 6,
  kResource = 7,
  // Another socket holds the port the host listens on.
  kPortTaken = 8,
};

// Generic failure HRESULT (E_FAIL), used when no system error is at hand.
inline constexpr uint32_t kHresultFail = 0x80004005u;

struct Status {
  bool ok = true;
  int32_t code = 0;
  std::string message;
  uint32_t hr = 0;

  static Status Success() { return {}; }
  static Status Failure(StatusCode code, std::string message, uint32_t hr = kHresultFail) {
    return {false, static_cast<int32_t>(code), std::move(message), hr};
  }
};

// A positive OS error number becomes HRESULT_FROM_WIN32-style 0x8007xxxx; zero or a
// negative value passes through unchanged (0 means the peer closed cleanly).
inline constexpr uint32_t HresultFromOsError(int error) {
  return error > 0 ? (0x80070000u | (static_cast<uint32_t>(error) & 0xFFFFu))
                   : static_cast<uint32_t>(error);
}

}  // namespace orvane
