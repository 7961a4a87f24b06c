#include "session/input_channel.h"

#include "base/logger.h"
#include "session/input_event_injection.h"

namespace orvane {

InputChannel::InputChannel(ProtocolHandler& handler, TcpControlServer& control_server,
                           UdpMediaSender& media_sender)
    : handler_(handler), control_server_(control_server), media_sender_(media_sender) {}

void InputChannel::SetInjector(std::unique_ptr<InputInjector> injector) {
  std::lock_guard<std::mutex> lock(mutex_);
  injector_ = std::move(injector);
  if (injector_) {
    injector_->SetStreamedOutput(streamed_output_);
  }
}

Status InputChannel::Start(uint16_t port) {
  return receiver_.Start(
      port,
      [this](std::span<const uint8_t> datagram, const DatagramSource& source) {
        HandleDatagram(datagram, source);
      },
      [this] { return Tick(); });
}

void InputChannel::Stop() {
  receiver_.Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  ReleaseHeldInput();
}

void InputChannel::AdoptClient(uint64_t connection_id, std::string address) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReleaseHeldInput();
  client_ = AdoptedClient{connection_id, std::move(address), {}};
  filter_.StartConnection();
}

void InputChannel::EndClient() {
  std::lock_guard<std::mutex> lock(mutex_);
  ReleaseHeldInput();
  client_ = AdoptedClient{};
}

void InputChannel::StartStream(std::vector<uint8_t> key) {
  std::lock_guard<std::mutex> lock(mutex_);
  client_.key = std::move(key);
  filter_.RestartReplayWindow();
}

void InputChannel::SetStreamedOutput(uint32_t output_index) {
  std::lock_guard<std::mutex> lock(mutex_);
  streamed_output_ = output_index;
  if (injector_) {
    injector_->SetStreamedOutput(output_index);
  }
}

std::optional<std::chrono::milliseconds> InputChannel::Tick() {
  std::lock_guard<std::mutex> lock(mutex_);
  return injector_ ? injector_->Tick() : std::nullopt;
}

void InputChannel::ReleaseHeldInput() {
  if (injector_) {
    injector_->ReleaseHeldInput();
  }
}

void InputChannel::HandleDatagram(std::span<const uint8_t> datagram, const DatagramSource& source) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Until the session has adopted the client the transport now holds, nobody may act.
  const bool adopted = control_server_.ActiveConnectionId() == client_.connection_id;
  InputSessionState session;
  if (adopted && !client_.address.empty()) {
    session = InputSessionState{handler_.authenticated(), client_.address, client_.key};
  }
  const InputDecision decision = filter_.Decide(datagram, source, session);
  switch (decision.action) {
    case InputAction::kMoveMediaEndpoint:
      MoveMediaEndpoint(decision.media_endpoint);
      break;
    case InputAction::kInject:
      Inject(decision.event);
      break;
    case InputAction::kDrop:
      break;
  }
}

void InputChannel::MoveMediaEndpoint(const DatagramSource& endpoint) {
  const Status status = media_sender_.SetRemote(endpoint.address, endpoint.port);
  if (status.ok) {
    LOG_INFO_COLLAPSED("[Session] Media UDP remote endpoint updated via punch: %s:%u",
                       endpoint.address.c_str(), endpoint.port);
    return;
  }
  LOG_WARN_COLLAPSED("[Session] Media UDP punch endpoint update failed code=%d msg=%s hr=0x%08lX",
                     status.code, status.message.c_str(), static_cast<unsigned long>(status.hr));
}

void InputChannel::Inject(const protocol::v1::InputEvent& event) {
  if (injector_) {
    InjectInputEvent(*injector_, event);
  }
}

}  // namespace orvane
