#include "protocol/protocol_handler.h"

#include <algorithm>
#include <span>
#include <utility>

#include "base/log_text.h"
#include "base/logger.h"
#include "platform/clock.h"
#include "security/key_fingerprint.h"

namespace orvane {
namespace {

namespace pb = protocol::v1;

std::span<const uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string Fingerprint(std::span<const uint8_t> key) {
  return key.empty() ? std::string("none") : KeyFingerprint(key);
}

// The rate the host actually runs at: the largest supported step not above the request.
uint32_t FpsStep(uint32_t requested) {
  if (requested >= 120) {
    return 120;
  }
  if (requested >= 90) {
    return 90;
  }
  return requested >= 60 ? 60 : 30;
}

}  // namespace

ProtocolHandler::ProtocolHandler(TrustStoreEnvironment trust_environment)
    : host_key_(crypto_.GenerateEphemeralKey()),
      trust_store_(trust_environment),
      tick_ms_(std::move(trust_environment.tick_ms)) {
  trust_store_.Load();
}

void ProtocolHandler::SetHostIdentity(const std::string& host_id, const std::string& host_name) {
  host_id_ = host_id;
  host_name_ = host_name;
}

void ProtocolHandler::SetUdpPorts(uint16_t media_port, uint16_t input_port) {
  media_port_ = media_port;
  input_port_ = input_port;
}

void ProtocolHandler::ResetForNewClient() {
  if (unlogged_refusals_ > 0) {
    LOG_WARN("[Protocol] %llu more refused Hellos from the last client were not logged",
             static_cast<unsigned long long>(unlogged_refusals_));
  }
  last_logged_refusal_ms_.reset();
  unlogged_refusals_ = 0;
  authenticated_.store(false);
  messages_.ForgetStream();
  key_agreement_failed_ = false;
  client_id_.clear();
  client_name_.clear();
  peer_key_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  keys_ = {};
}

NegotiatedStream ProtocolHandler::Negotiated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return negotiated_;
}

std::string ProtocolHandler::SessionId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_id_;
}

SessionKeys ProtocolHandler::Keys() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return keys_;
}

void ProtocolHandler::PromoteCompatibilityKey() {
  std::lock_guard<std::mutex> lock(mutex_);
  keys_.primary = std::move(keys_.compatibility);
  keys_.compatibility.clear();
}

void ProtocolHandler::SaveTrust() {
  trust_store_.Save();
}

void ProtocolHandler::Request(ClientRequest request) {
  if (request_callback_) {
    request_callback_(std::move(request));
  }
}

Status ProtocolHandler::HandleControlMessage(const uint8_t* data, size_t size) {
  pb::ControlMessage message;
  if (!message.ParseFromArray(data, static_cast<int>(size))) {
    const auto byte = [&](size_t i) { return i < size ? data[i] : 0u; };
    LOG_ERROR_COLLAPSED(
        "[Protocol] Failed to parse control message size=%u prefix=%02X%02X%02X%02X",
        static_cast<unsigned>(size), byte(0), byte(1), byte(2), byte(3));
    return Status::Failure(StatusCode::kMalformedData, "Failed to parse control message");
  }

  const auto authenticated_or_warn = [this](const char* what) {
    if (!authenticated_.load()) {
      LOG_WARN_COLLAPSED("[Protocol] %s ignored before authentication", what);
      return false;
    }
    return true;
  };

  switch (message.payload_case()) {
    case pb::ControlMessage::kHello:
      HandleHello(message.hello());
      break;
    case pb::ControlMessage::kCapabilityExchange:
      if (authenticated_or_warn("CapabilityExchange")) {
        HandleCapabilityExchange(message.capability_exchange());
      }
      break;
    case pb::ControlMessage::kStartStream:
      if (authenticated_or_warn("StartStream")) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          session_id_ = message.start_stream().session_id();
        }
        LOG_INFO_COLLAPSED("[Protocol] StartStream: sessionId=%s",
                           EscapeForLog(message.start_stream().session_id()).c_str());
        Request(StartStreamRequest{});
      }
      break;
    case pb::ControlMessage::kStopStream:
      if (authenticated_or_warn("StopStream")) {
        const pb::StopStream& stop = message.stop_stream();
        LOG_INFO_COLLAPSED("[Protocol] StopStream: sessionId=%s reason=%d",
                           EscapeForLog(stop.session_id()).c_str(),
                           static_cast<int>(stop.reason()));
        messages_.SendStreamStopped(stop.session_id());
        Request(StopStreamRequest{});
      }
      break;
    case pb::ControlMessage::kSetQualityProfile:
      if (authenticated_or_warn("SetQualityProfile")) {
        HandleSetQualityProfile(message.set_quality_profile());
      }
      break;
    case pb::ControlMessage::kRequestKeyframe:
      if (authenticated_or_warn("RequestKeyframe")) {
        LOG_INFO_COLLAPSED("[Protocol] RequestKeyframe: stream_id=%s",
                           EscapeForLog(message.request_keyframe().stream_id()).c_str());
        Request(KeyframeRequest{});
      }
      break;
    case pb::ControlMessage::kSetAudioEnabled:
      if (authenticated_or_warn("SetAudioEnabled")) {
        const bool enabled = message.set_audio_enabled().enabled();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          negotiated_.audio_enabled = enabled;
        }
        LOG_INFO_COLLAPSED("[Protocol] Audio %s", enabled ? "enabled" : "disabled");
      }
      break;
    case pb::ControlMessage::kFirstFrameRendered:
      if (authenticated_or_warn("FirstFrameRendered")) {
        const pb::FirstFrameRendered& rendered = message.first_frame_rendered();
        LOG_INFO_COLLAPSED("[Protocol] FirstFrameRendered: session=%s rendered_frames=%llu",
                           EscapeForLog(rendered.session_id()).c_str(),
                           static_cast<unsigned long long>(rendered.rendered_frames()));
      }
      break;
    case pb::ControlMessage::kStartFileTransfer:
      if (authenticated_or_warn("StartFileTransfer")) {
        const pb::StartFileTransfer& transfer = message.start_file_transfer();
        LOG_INFO_COLLAPSED("[Protocol] StartFileTransfer: %s (%llu bytes)",
                           EscapeForLog(transfer.filename()).c_str(),
                           static_cast<unsigned long long>(transfer.file_size_bytes()));
        Request(FileTransferRequest{transfer});
      }
      break;
    case pb::ControlMessage::kClipboardUpdate:
      if (authenticated_or_warn("ClipboardUpdate")) {
        const pb::ClipboardUpdate& clipboard = message.clipboard_update();
        LOG_INFO_COLLAPSED(
            "[Protocol] ClipboardUpdate from mobile (text=%zu chars, image=%d, bytes=%zu)",
            clipboard.text().size(), clipboard.has_image() ? 1 : 0, clipboard.image_data().size());
        Request(ClipboardRequest{
            PendingClipboard{clipboard.text(), clipboard.image_data(), clipboard.mime_type()}});
      }
      break;
    case pb::ControlMessage::kStatsReport:
      HandleStatsReport(message.stats_report());
      break;
    case pb::ControlMessage::kPing: {
      pb::ControlMessage reply;
      pb::Pong* pong = reply.mutable_pong();
      pong->set_ping_timestamp_us(message.ping().send_timestamp_us());
      pong->set_pong_timestamp_us(MonotonicMicros());
      messages_.Send(reply);
      break;
    }
    case pb::ControlMessage::kSessionTerminate:
      LOG_INFO_COLLAPSED("[Protocol] SessionTerminate: %s",
                         EscapeForLog(message.session_terminate().reason()).c_str());
      messages_.ForgetStream();
      Request(StopStreamRequest{});
      break;
    case pb::ControlMessage::kRekeyRequired:
      LOG_WARN_COLLAPSED("[Protocol] Client requested rekey: reason=%s epoch=%llu",
                         EscapeForLog(message.rekey_required().reason()).c_str(),
                         static_cast<unsigned long long>(message.rekey_required().server_epoch()));
      break;
    default:
      LOG_WARN_COLLAPSED("[Protocol] Unhandled message type: %d",
                         static_cast<int>(message.payload_case()));
      break;
  }
  return Status::Success();
}

bool ProtocolHandler::QuietHello(const pb::Hello& hello, uint64_t now_ms) {
  const bool quiet = last_logged_refusal_ms_ &&
                     now_ms - *last_logged_refusal_ms_ < kRefusedHelloLogMs &&
                     !trust_store_.IsTrusted(hello.client_id()) &&
                     (hello.pairing_proof().empty() || !trust_store_.ProofCheckDue());
  if (!quiet && unlogged_refusals_ > 0) {
    LOG_WARN("[Protocol] %llu more refused Hellos from this client were not logged",
             static_cast<unsigned long long>(unlogged_refusals_));
    unlogged_refusals_ = 0;
  }
  return quiet;
}

void ProtocolHandler::HandleHello(const pb::Hello& hello) {
  const uint64_t now_ms = tick_ms_();
  const bool quiet = QuietHello(hello, now_ms);
  {
    ScopedLogSilence silence(quiet);
    HandleHelloMessage(hello);
  }
  if (authenticated_.load()) {
    last_logged_refusal_ms_.reset();
  } else if (quiet) {
    ++unlogged_refusals_;
  } else {
    last_logged_refusal_ms_ = now_ms;
  }
}

void ProtocolHandler::HandleHelloMessage(const pb::Hello& hello) {
  LOG_INFO("[Protocol] Hello from %s (%s) v%s", EscapeForLog(hello.client_name()).c_str(),
           EscapeForLog(hello.client_id()).c_str(), EscapeForLog(hello.app_version()).c_str());
  client_id_ = hello.client_id();
  client_name_ = hello.client_name();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_ = {};
  }
  key_agreement_failed_ = false;
  if (!hello.ephemeral_public_key().empty()) {
    DeriveSessionKeys(hello.ephemeral_public_key());
  }
  CheckPairing(hello);
}

void ProtocolHandler::DeriveSessionKeys(const std::string& peer_key) {
  peer_key_ = peer_key;
  LOG_INFO("[Protocol] Peer ephemeral key len=%zu fp=%s", peer_key.size(),
           KeyFingerprint(AsBytes(peer_key)).c_str());
  if (host_key_.public_key.empty()) {
    LOG_WARN_COLLAPSED(
        "[Protocol] Local ephemeral key is unavailable; transport encryption disabled");
    return;
  }
  LOG_INFO("[Protocol] Host ephemeral key len=%zu fp=%s", host_key_.public_key.size(),
           KeyFingerprint(host_key_.public_key).c_str());
  const auto peer = AsBytes(peer_key);
  std::vector<uint8_t> primary =
      crypto_.DeriveSessionKey(host_key_.private_key.get(), peer, {}, false);
  std::vector<uint8_t> compatibility =
      crypto_.DeriveSessionKey(host_key_.private_key.get(), peer, {}, true);
  if (primary.empty()) {
    LOG_WARN_COLLAPSED("[Protocol] Session key derivation failed; transport encryption disabled");
    key_agreement_failed_ = true;
    return;
  }
  LOG_INFO("[Protocol] Session key derived (%zu bytes, fp=%s, compat_fp=%s)", primary.size(),
           KeyFingerprint(primary).c_str(), Fingerprint(compatibility).c_str());
  std::lock_guard<std::mutex> lock(mutex_);
  keys_ = {std::move(primary), std::move(compatibility)};
}

void ProtocolHandler::CheckPairing(const pb::Hello& hello) {
  if (trust_store_.IsTrusted(hello.client_id())) {
    authenticated_.store(true);
    trust_store_.UpdateLastSeen(hello.client_id());
    SendHelloAckAccepted();
    Request(TrustChangedRequest{});
    return;
  }
  if (!hello.pairing_proof().empty()) {
    // A Hello without a key of its own proves against the key of the client's last Hello.
    if (trust_store_.VerifyPairingProof(AsBytes(hello.pairing_proof()), hello.client_id(),
                                        AsBytes(peer_key_))) {
      authenticated_.store(true);
      trust_store_.TrustDevice(hello.client_id(), hello.client_name());
      SendHelloAckAccepted();
      LOG_INFO("[Protocol] Pairing successful -- device trusted");
      Request(TrustChangedRequest{});
      return;
    }
    authenticated_.store(false);
    SendHelloAckPairingRequired(trust_store_.IssuePairingCode());
    LOG_WARN("[Protocol] Pairing proof invalid -- pairing required");
    return;
  }
  authenticated_.store(false);
  SendHelloAckPairingRequired(trust_store_.IssuePairingCode());
}

void ProtocolHandler::HandleCapabilityExchange(const pb::CapabilityExchange& caps) {
  LOG_INFO_COLLAPSED("[Protocol] CapabilityExchange: codecs=%d, fps_count=%d",
                     caps.supported_codecs_size(), caps.supported_fps_size());
  const auto offers = [&](pb::VideoCodec codec) {
    return std::find(caps.supported_codecs().begin(), caps.supported_codecs().end(), codec) !=
           caps.supported_codecs().end();
  };
  const bool supports_h264 = offers(pb::VIDEO_CODEC_H264);
  const bool supports_hevc = offers(pb::VIDEO_CODEC_HEVC);
  const VideoCodec codec = !supports_h264 && supports_hevc ? VideoCodec::kHevc : VideoCodec::kH264;
  LOG_INFO_COLLAPSED("[Protocol] Codec selected: %s (supports_h264=%d supports_hevc=%d)",
                     VideoCodecName(codec), supports_h264 ? 1 : 0, supports_hevc ? 1 : 0);

  uint32_t fps = 60;
  for (const uint32_t offered : caps.supported_fps()) {
    if (offered > fps && offered <= 120) {
      fps = offered;
    }
  }

  NegotiatedStream stream = Negotiated();
  stream.codec = codec;
  stream.fps = fps;
  if (caps.has_preferred_resolution()) {
    const uint32_t w = caps.preferred_resolution().width();
    const uint32_t h = caps.preferred_resolution().height();
    if (w != 0 && h != 0) {
      if (w >= 640 && w <= 3840 && h >= 360 && h <= 2160) {
        stream.width = w;
        stream.height = h;
        LOG_INFO_COLLAPSED("[Protocol] Preferred resolution accepted: %ux%u", w, h);
      } else {
        LOG_WARN_COLLAPSED("[Protocol] Preferred resolution rejected as out of bounds: %ux%u", w,
                           h);
      }
    }
  }
  stream.audio_enabled = caps.has_audio() && caps.audio().opus_supported();
  stream.input_enabled = caps.has_input() && (caps.input().touch() || caps.input().pen_pressure());
  stream.media_port = media_port_;
  stream.input_port = input_port_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    negotiated_ = stream;
  }

  pb::ControlMessage reply;
  pb::CapabilityAccept* accept = reply.mutable_capability_accept();
  accept->set_selected_codec(static_cast<pb::VideoCodec>(codec));
  accept->set_selected_fps(stream.fps);
  accept->mutable_selected_resolution()->set_width(stream.width);
  accept->mutable_selected_resolution()->set_height(stream.height);
  accept->set_audio_enabled(stream.audio_enabled);
  accept->set_input_enabled(stream.input_enabled);
  accept->set_initial_bitrate_kbps(stream.bitrate_kbps);
  accept->set_media_udp_port(stream.media_port);
  accept->set_input_udp_port(stream.input_port);
  messages_.Send(reply);
  LOG_INFO_COLLAPSED("[Protocol] Sent CapabilityAccept: %s %ux%u @%u fps", VideoCodecName(codec),
                     stream.width, stream.height, stream.fps);
}

void ProtocolHandler::HandleSetQualityProfile(const pb::SetQualityProfile& profile) {
  LOG_INFO_COLLAPSED("[Protocol] SetQualityProfile: bitrate=%u fps=%u codec=%d",
                     profile.target_bitrate_kbps(), profile.target_fps(),
                     static_cast<int>(profile.codec()));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    negotiated_.bitrate_kbps = profile.target_bitrate_kbps();
    negotiated_.fps = FpsStep(profile.target_fps());
    negotiated_.codec = VideoCodecFromWire(static_cast<uint32_t>(profile.codec()));
  }
  Request(QualityChangeRequest{});
}

void ProtocolHandler::HandleStatsReport(const pb::StatsReport& report) {
  Request(ClientStatsReport{report.rtt_ms(), report.packet_loss_pct(), report.jitter_ms()});
}

void ProtocolHandler::SendHelloAck(pb::AuthResult result) {
  pb::ControlMessage message;
  pb::HelloAck* ack = message.mutable_hello_ack();
  ack->set_result(result);
  ack->set_host_id(host_id_);
  ack->set_host_name(host_name_);
  const std::span<const uint8_t> key = OfferedHostKey();
  if (!key.empty()) {
    ack->set_ephemeral_public_key(key.data(), key.size());
  }
  messages_.Send(message);
}

std::span<const uint8_t> ProtocolHandler::OfferedHostKey() const {
  // A client given our key after the agreement failed here would seal what we cannot open.
  if (key_agreement_failed_) {
    return {};
  }
  return host_key_.public_key;
}

void ProtocolHandler::SendHelloAckAccepted() {
  SendHelloAck(pb::AUTH_RESULT_OK);
  LOG_INFO("[Protocol] Sent HelloAck (accepted=%d, host_ephemeral_fp=%s)", 1,
           Fingerprint(OfferedHostKey()).c_str());
}

void ProtocolHandler::SendHelloAckPairingRequired(const std::string& pairing_code) {
  // The code is shown on the host only: sending it would let anyone who connects pair.
  SendHelloAck(pb::AUTH_RESULT_PAIRING_REQUIRED);
  LOG_INFO("[Protocol] Sent HelloAck (PAIRING_REQUIRED, code=%s, host_ephemeral_fp=%s)",
           pairing_code.c_str(), Fingerprint(OfferedHostKey()).c_str());
}

}  // namespace orvane
