#include "session/session_harness.h"

#include "platform/socket.h"
#include "security/trust_store.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

const char* StateName(SessionClientState state) {
  switch (state) {
    case SessionClientState::kWaiting:
      return "waiting";
    case SessionClientState::kConnected:
      return "connected";
    case SessionClientState::kDisconnected:
      return "disconnected";
  }
  return "?";
}

}  // namespace

std::vector<uint8_t> KeyEvent(uint32_t key_code, bool up) {
  pb::InputEvent event;
  event.mutable_key()->set_action(up ? pb::KEY_ACTION_KEY_UP : pb::KEY_ACTION_KEY_DOWN);
  event.mutable_key()->set_key_code(key_code);
  const std::string bytes = event.SerializeAsString();
  return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> TouchEvent(uint32_t action, uint32_t pointer_id, float x, float y) {
  pb::InputEvent event;
  event.mutable_touch()->set_action(static_cast<pb::TouchAction>(action));
  event.mutable_touch()->set_pointer_id(pointer_id);
  event.mutable_touch()->set_x_normalized(x);
  event.mutable_touch()->set_y_normalized(y);
  const std::string bytes = event.SerializeAsString();
  return {bytes.begin(), bytes.end()};
}

SessionHarness::SessionHarness(Options options) {
  SessionEnvironment environment;
  environment.trust.folder = [folder = temp_.path()] { return folder; };
  environment.now_us = clock_.Function();
  environment.platform.input_sink = [record = input_] {
    return std::make_unique<RecordingInputSink>(record);
  };
  environment.platform.video_encoder = [record = encoders_] {
    return std::make_unique<RecordingEncoder>(record);
  };
  capture_->reports_changes = options.still_desktop;
  environment.platform.capturers = [masked = options.masked_capture, record = capture_] {
    ScreenCapturers capturers;
    capturers.push_back(std::make_unique<StillCapturer>(masked, record));
    return capturers;
  };
  environment.platform.audio_capture = [record = audio_capture_, audio = options.audio] {
    return std::make_unique<FakeAudioCapture>(record, audio);
  };
  environment.file_transfer.destination_folder = [this] { return download_folder(); };
  environment.file_transfer.free_bytes = [this](const std::filesystem::path&) {
    return std::optional<uint64_t>(free_disk_bytes_.load());
  };
  std::filesystem::create_directories(download_folder());
  TrustStore trust(environment.trust);
  trust.TrustDevice(identity_.client_id, identity_.client_name);
  trust.Save();

  options_.control_port = FreeTcpPort();
  options_.media_port = FreeUdpPort();
  options_.input_port = FreeUdpPort();
  session_ = std::make_unique<HostSession>(environment);
  session_->SetClientStateCallback([this](SessionClientState state, const std::string& text) {
    std::lock_guard<std::mutex> lock(states_mutex_);
    states_.push_back(text.empty() ? StateName(state) : std::string(StateName(state)) + " " + text);
  });
  if (session_->Initialize(options_)) {
    runner_ = std::thread([this] { session_->Run(); });
  }
}

SessionHarness::~SessionHarness() {
  Stop();
}

void SessionHarness::Stop() {
  session_->RequestStop();
  if (runner_.joinable()) {
    runner_.join();
  }
}

std::unique_ptr<client::ControlClient> SessionHarness::Connect(const std::string& local_address) {
  auto client = std::make_unique<client::ControlClient>();
  if (!client->Connect("127.0.0.1", options_.control_port, local_address)) {
    return nullptr;
  }
  return client;
}

bool SessionHarness::Authenticate(client::ControlClient& client) {
  if (!client.SendHello(identity_)) {
    return false;
  }
  const auto ack = client.ReceiveUntil(pb::ControlMessage::kHelloAck, 5s);
  return ack && ack->hello_ack().result() == pb::AUTH_RESULT_OK;
}

bool SessionHarness::OfferAudio(client::ControlClient& client) {
  pb::ControlMessage exchange;
  exchange.mutable_capability_exchange()->add_supported_codecs(pb::VIDEO_CODEC_H264);
  exchange.mutable_capability_exchange()->mutable_audio()->set_opus_supported(true);
  return client.Send(exchange, client::FrameMode::kSealedPrimary) &&
         client.ReceiveUntil(pb::ControlMessage::kCapabilityAccept, 5s).has_value();
}

bool SessionHarness::StartStream(client::ControlClient& client) {
  pb::ControlMessage start;
  start.mutable_start_stream()->set_session_id("s");
  return client.Send(start, client::FrameMode::kSealedPrimary) &&
         client.ReceiveUntil(pb::ControlMessage::kStreamStarted, 5s).has_value();
}

uint16_t SessionHarness::SendInput(const std::string& local_address,
                                   const std::vector<uint8_t>& bytes) {
  const SocketHandle udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, local_address.c_str(), &local.sin_addr);
  bind(udp, reinterpret_cast<const sockaddr*>(&local), sizeof(local));
  socklen_t size = sizeof(local);
  getsockname(udp, reinterpret_cast<sockaddr*>(&local), &size);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(options_.input_port);
  inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
  sendto(udp, reinterpret_cast<const char*>(bytes.data()), bytes.size(), 0,
         reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
  CloseSocket(udp);
  return ntohs(local.sin_port);
}

bool SessionHarness::InputSettled(const std::string& local_address) {
  // Released at once, so the marker is never among the keys held.
  const uint16_t marker = next_marker_++;
  SendInput(local_address, KeyEvent(marker, true));
  return WaitUntil([&] { return Injected(marker); }, 2s);
}

bool SessionHarness::Injected(uint16_t key_code) const {
  for (const KeyRecord& key : input_->Keys()) {
    if (key.virtual_key == key_code) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> SessionHarness::ClientStates() const {
  std::lock_guard<std::mutex> lock(states_mutex_);
  return states_;
}

}  // namespace orvane::testing
