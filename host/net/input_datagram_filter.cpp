#include "net/input_datagram_filter.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "base/logger.h"
#include "net/media_packet.h"
#include "security/secure_envelope.h"
#include "security/session_crypto.h"

namespace orvane {
namespace {

constexpr uint64_t kWarningIntervalMs = 1000;
constexpr size_t kToleratedPrefixSize = 4;

bool IsPunch(std::span<const uint8_t> payload) {
  return payload.size() == kPunchPayload.size() &&
         std::equal(kPunchPayload.begin(), kPunchPayload.end(), payload.begin());
}

// Clients may put a 4-byte length ahead of the message; the message is tried whole first.
bool ParseInputEvent(std::span<const uint8_t> payload, protocol::v1::InputEvent& event) {
  if (!event.ParseFromArray(payload.data(), static_cast<int>(payload.size()))) {
    event.Clear();
    if (payload.size() <= kToleratedPrefixSize ||
        !event.ParseFromArray(payload.data() + kToleratedPrefixSize,
                              static_cast<int>(payload.size() - kToleratedPrefixSize))) {
      return false;
    }
  }
  return event.event_case() != protocol::v1::InputEvent::EVENT_NOT_SET;
}

// adb reverse hands the phone's connection to the host from the loopback network.
bool IsLoopbackAddress(std::string_view address) {
  return address.starts_with("127.");
}

}  // namespace

InputDatagramFilter::InputDatagramFilter(TickClock tick_ms) : tick_ms_(std::move(tick_ms)) {}

InputDecision InputDatagramFilter::Decide(std::span<const uint8_t> datagram,
                                          const DatagramSource& source,
                                          const InputSessionState& session) {
  InputDecision decision;
  if (session.control_client_address.empty()) {
    WarnDropped(source, "no authenticated client");
    return decision;
  }
  const EnvelopeView envelope = ParseEnvelope(datagram);
  std::span<const uint8_t> payload = envelope.payload;
  std::vector<uint8_t> opened;
  if (envelope.kind == EnvelopeKind::kSealed) {
    // Checked before opening, which costs more; recorded only once the datagram opened,
    // so that a forged counter cannot push the window ahead.
    if (!replay_window_.IsFresh(envelope.counter)) {
      WarnDropped(source, "counter already used or too old");
      return decision;
    }
    opened = SessionCrypto::DecryptPayload(session.session_key, kInputDirection, envelope.counter,
                                           envelope.payload);
    if (opened.empty()) {
      decision.status =
          Status::Failure(StatusCode::kMalformedData, "Failed to decrypt secure UDP input payload");
      return decision;
    }
    replay_window_.Accept(envelope.counter);
    payload = opened;
  } else if (!FromControlClient(payload, source, session)) {
    WarnDropped(source, "unsealed and not from the control client");
    return decision;
  }

  // Clients punch as soon as they connect, before their Hello is answered, so that media
  // finds its way through address translation from the first frame.
  if (IsPunch(payload)) {
    decision.action = InputAction::kMoveMediaEndpoint;
    decision.media_endpoint = source;
    return decision;
  }
  if (!session.authenticated) {
    WarnDropped(source, "no authenticated client");
    return decision;
  }
  if (ParseInputEvent(payload, decision.event)) {
    decision.action = InputAction::kInject;
  }
  return decision;
}

bool InputDatagramFilter::FromControlClient(std::span<const uint8_t> payload,
                                            const DatagramSource& source,
                                            const InputSessionState& session) {
  if (source.address == session.control_client_address ||
      (!bound_address_.empty() && source.address == bound_address_)) {
    return true;
  }
  if (!bound_address_.empty() || !IsLoopbackAddress(session.control_client_address) ||
      !IsPunch(payload)) {
    return false;
  }
  bound_address_ = source.address;
  LOG_INFO("[UDPRecv] USB route: the control client's media and input now use %s",
           bound_address_.c_str());
  return true;
}

void InputDatagramFilter::WarnDropped(const DatagramSource& source, const char* reason) {
  ++dropped_;
  const uint64_t now = tick_ms_();
  if (last_warning_ms_ && now - *last_warning_ms_ < kWarningIntervalMs) {
    return;
  }
  last_warning_ms_ = now;
  LOG_WARN("[UDPRecv] Dropped input datagram from %s:%u: %s (dropped=%llu)", source.address.c_str(),
           source.port, reason, static_cast<unsigned long long>(dropped_));
}

}  // namespace orvane
