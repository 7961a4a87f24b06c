#include "viewer/viewer_session.h"

#include <cstdio>

#include "client/client_identity.h"
#include "client/media_receiver.h"
#include "client/random_text.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "viewer/audio_player.h"
#include "viewer/frame_slot.h"
#include "viewer/media_loop.h"
#include "viewer/video_decoder.h"
#include "viewer/viewer_stats.h"

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kAnswerWait = 5s;
constexpr auto kRetryPeriod = 1s;
constexpr auto kPingPeriod = 1s;
constexpr auto kSlice = 20ms;
constexpr auto kKeyframeRetry = 500ms;
// The host checks at most one pairing proof every 2 s; a sooner one is not even looked at.
constexpr auto kProofGap = 2100ms;
constexpr uint32_t kMaxTouchPoints = 10;

bool IsLoopback(const sockaddr_in& address) {
  return (ntohl(address.sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

ViewerSession::ViewerSession(ViewerOptions options, FrameSlot& frames, ViewerStats& stats,
                             AudioPlayer* audio)
    : options_(std::move(options)),
      frames_(frames),
      stats_(stats),
      audio_(audio),
      recovery_(kKeyframeRetry),
      pairing_code_(options_.code) {}

ViewerSession::~ViewerSession() {
  Stop();
}

void ViewerSession::Start() {
  running_ = true;
  thread_ = std::thread(&ViewerSession::Run, this);
}

void ViewerSession::Stop() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

std::string ViewerSession::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void ViewerSession::SubmitCode(const std::string& code) {
  {
    std::lock_guard lock(mutex_);
    typed_code_ = code;
  }
  wake_.notify_all();
}

void ViewerSession::SendInput(v1::InputEvent event) {
  std::lock_guard lock(input_mutex_);
  if (!input_) {
    return;
  }
  event.set_timestamp_us(MonotonicMicros());
  event.set_sequence_number(++input_sequence_);
  input_->SendEvent(event);
}

void ViewerSession::OfferClipboard(ClipboardData data) {
  std::lock_guard lock(mutex_);
  const bool from_host =
      data.text == last_from_host_.text &&
      std::string(data.image.begin(), data.image.end()) == last_from_host_.image_data;
  if ((!data.has_text && !data.has_image) || from_host) {
    return;
  }
  outgoing_clipboard_.push_back(std::move(data));
}

std::optional<PendingClipboard> ViewerSession::TakeHostClipboard() {
  std::lock_guard lock(mutex_);
  if (incoming_clipboard_.empty()) {
    return std::nullopt;
  }
  PendingClipboard update = std::move(incoming_clipboard_.front());
  incoming_clipboard_.pop_front();
  return update;
}

HostCursor ViewerSession::cursor() const {
  std::lock_guard lock(mutex_);
  return cursor_;
}

std::optional<int64_t> ViewerSession::HostToLocal(uint64_t host_us) const {
  std::lock_guard lock(mutex_);
  return clock_.ToLocal(host_us);
}

void ViewerSession::SetStatus(SessionPhase phase, std::string text) {
  std::lock_guard lock(mutex_);
  phase_ = phase;
  // A host that stays away would otherwise print two lines a second.
  if (text == status_) {
    return;
  }
  status_ = std::move(text);
  std::printf("%s\n", status_.c_str());
  std::fflush(stdout);
}

bool ViewerSession::Wait(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, limit, [this] { return !running_.load(); });
  return running_;
}

void ViewerSession::Run() {
  while (running_) {
    if (!RunConnection()) {
      phase_ = SessionPhase::kRefused;
      Wait(std::chrono::hours(24 * 365));
      return;
    }
    if (running_) {
      SetStatus(SessionPhase::kWaitingForHost, "Waiting for the host at " + options_.host);
      Wait(kRetryPeriod);
    }
  }
}

bool ViewerSession::SayHello(client::ControlClient& control, std::string code) {
  client::ClientIdentity identity = client::LoadOrCreateIdentity(options_.identity_file);
  if (identity.client_id.empty()) {
    SetStatus(SessionPhase::kRefused, "No client identity could be made");
    refused_ = true;
    return false;
  }
  for (;;) {
    const auto sent_at = Clock::now();
    if (!control.SendHello(identity, code)) {
      return false;
    }
    const auto ack = control.ReceiveUntil(v1::ControlMessage::kHelloAck, kAnswerWait);
    if (!ack) {
      return false;
    }
    switch (ack->hello_ack().result()) {
      case v1::AUTH_RESULT_OK:
        pairing_code_.clear();
        if (!code.empty()) {
          std::printf("Paired: this device is now trusted by %s\n",
                      ack->hello_ack().host_name().c_str());
        }
        return true;
      case v1::AUTH_RESULT_PAIRING_REQUIRED:
        break;
      default:
        SetStatus(SessionPhase::kRefused, "The host refused this device");
        refused_ = true;
        return false;
    }
    SetStatus(SessionPhase::kNeedsCode, code.empty()
                                            ? "Type the pairing code shown on the host"
                                            : "Wrong code; type the new one shown on the host");
    std::unique_lock lock(mutex_);
    typed_code_.clear();
    wake_.wait(lock, [this] { return !running_ || !typed_code_.empty(); });
    if (!running_) {
      return false;
    }
    code = typed_code_;
    // Kept for the next connection too, should this one end while the host waits.
    pairing_code_ = code;
    lock.unlock();
    // Too soon after the last proof the host would drop this one unchecked.
    std::this_thread::sleep_until(sent_at + kProofGap);
    SetStatus(SessionPhase::kConnecting, "Pairing");
  }
}

bool ViewerSession::RunConnection() {
  sockaddr_in host{};
  uint32_t resolve_hr = 0;
  if (!ResolveIpv4(options_.host, options_.control_port, host, resolve_hr)) {
    SetStatus(SessionPhase::kWaitingForHost, "Cannot resolve " + options_.host);
    return true;
  }
  {
    // One machine has one clock; pings would only blur it.
    std::lock_guard lock(mutex_);
    clock_ = IsLoopback(host) ? ClockOffset::SameClock() : ClockOffset();
  }
  client::MediaReceiver receiver;
  if (!receiver.Open(options_.media_port)) {
    SetStatus(SessionPhase::kRefused, receiver.last_error());
    return false;
  }
  // While the host is away, retries keep saying so rather than flicker.
  if (phase_ != SessionPhase::kWaitingForHost) {
    SetStatus(SessionPhase::kConnecting, "Connecting to " + options_.host);
  }
  client::ControlClient control;
  if (!control.Connect(options_.host, options_.control_port)) {
    return true;
  }
  if (!SayHello(control, pairing_code_)) {
    return !refused_;
  }

  v1::ControlMessage exchange;
  v1::CapabilityExchange& caps = *exchange.mutable_capability_exchange();
  for (const v1::VideoCodec codec : options_.codecs.empty() ? DecodableCodecs() : options_.codecs) {
    caps.add_supported_codecs(codec);
  }
  caps.add_supported_fps(options_.fps);
  if (options_.width != 0) {
    caps.mutable_preferred_resolution()->set_width(options_.width);
    caps.mutable_preferred_resolution()->set_height(options_.height);
  }
  if (audio_ != nullptr && audio_->is_open()) {
    caps.mutable_audio()->set_opus_supported(true);
    caps.mutable_audio()->add_sample_rates(48000);
    caps.mutable_audio()->set_channels(2);
  }
  v1::InputCapability& input = *caps.mutable_input();
  input.set_touch(true);
  input.set_pen_pressure(true);
  input.set_pen_hover(true);
  input.set_keyboard(true);
  input.set_max_touch_points(kMaxTouchPoints);
  caps.set_device_model("orvane-viewer");
  caps.set_os_version("Linux");
  if (!Send(control, std::move(exchange))) {
    return true;
  }
  const auto accepted = control.ReceiveUntil(v1::ControlMessage::kCapabilityAccept, kAnswerWait);
  if (!accepted) {
    return true;
  }
  const v1::CapabilityAccept& accept = accepted->capability_accept();
  sockaddr_in input_address = host;
  input_address.sin_port =
      htons(options_.input_port != 0 ? options_.input_port
                                     : static_cast<uint16_t>(accept.input_udp_port()));
  // Sent bare from the media port: the host takes sealed datagrams only once streaming.
  client::InputSender punch;
  punch.Attach(receiver.socket(), input_address);
  punch.SendPunch();
  receiver.SetKey(control.primary_key());

  MediaLoop media(frames_, stats_, recovery_, audio_);
  if (!media.Start(receiver, accept.selected_codec())) {
    SetStatus(SessionPhase::kRefused, "This machine cannot decode the host's codec");
    return false;
  }
  {
    std::lock_guard lock(input_mutex_);
    input_.emplace();
    if (input_->Open(input_address)) {
      input_->SetKey(control.primary_key());
    } else {
      input_.reset();
    }
  }
  const std::string session_id = "orvane-viewer-" + client::RandomHexText(8);
  v1::ControlMessage start;
  start.mutable_start_stream()->set_session_id(session_id);
  {
    std::lock_guard lock(mutex_);
    stream_stopped_ = false;
  }
  if (Send(control, std::move(start))) {
    ++connections_;
    SetStatus(SessionPhase::kStreaming,
              "Streaming from " + options_.host + " (" +
                  std::to_string(accept.selected_resolution().width()) + "x" +
                  std::to_string(accept.selected_resolution().height()) + ", " +
                  (accept.selected_codec() == v1::VIDEO_CODEC_HEVC ? "HEVC" : "H.264") +
                  (accept.audio_enabled() ? ", sound" : "") + ")");
    Serve(control, session_id);
  }
  {
    std::lock_guard lock(input_mutex_);
    input_.reset();
  }
  if (!running_ && control.connected()) {
    v1::ControlMessage stop;
    stop.mutable_stop_stream()->set_session_id(session_id);
    stop.mutable_stop_stream()->set_reason(v1::STOP_REASON_USER_REQUEST);
    if (Send(control, std::move(stop))) {
      control.ReceiveUntil(v1::ControlMessage::kStreamStopped, kAnswerWait);
    }
  }
  media.Stop();
  return true;
}

void ViewerSession::Serve(client::ControlClient& control, const std::string& session_id) {
  auto next_ping = Clock::now();
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (!running_ || stream_stopped_ || !control.connected()) {
        return;
      }
    }
    const auto message = control.Receive(kSlice);
    if (message) {
      Take(*message);
    }
    const auto now = Clock::now();
    if (recovery_.TakeRequestDue(now)) {
      v1::ControlMessage request;
      request.mutable_request_keyframe()->set_stream_id(session_id);
      Send(control, std::move(request));
      stats_.OnKeyframeRequested();
    }
    if (now >= next_ping) {
      next_ping = now + kPingPeriod;
      v1::ControlMessage ping;
      ping.mutable_ping()->set_send_timestamp_us(MonotonicMicros());
      Send(control, std::move(ping));
    }
    std::deque<ClipboardData> outgoing;
    {
      std::lock_guard lock(mutex_);
      outgoing.swap(outgoing_clipboard_);
    }
    for (ClipboardData& data : outgoing) {
      v1::ControlMessage message;
      v1::ClipboardUpdate& update = *message.mutable_clipboard_update();
      update.set_text(std::move(data.text));
      if (data.has_image) {
        update.set_has_image(true);
        update.set_image_data(data.image.data(), data.image.size());
        update.set_mime_type(data.mime_type);
      }
      Send(control, std::move(message));
    }
  }
}

void ViewerSession::Take(const v1::ControlMessage& message) {
  std::lock_guard lock(mutex_);
  switch (message.payload_case()) {
    case v1::ControlMessage::kCursorUpdate: {
      const v1::CursorUpdate& update = message.cursor_update();
      cursor_.known = true;
      cursor_.visible = update.visible();
      cursor_.x = update.position_x();
      cursor_.y = update.position_y();
      const size_t pixels = size_t{update.width()} * update.height() * 4;
      if (!update.bitmap_argb().empty() && update.bitmap_argb().size() == pixels) {
        cursor_.width = update.width();
        cursor_.height = update.height();
        cursor_.hotspot_x = update.hotspot_x();
        cursor_.hotspot_y = update.hotspot_y();
        cursor_.bgra.assign(update.bitmap_argb().begin(), update.bitmap_argb().end());
        ++cursor_.shape_version;
      }
      break;
    }
    case v1::ControlMessage::kClipboardUpdate: {
      const v1::ClipboardUpdate& update = message.clipboard_update();
      PendingClipboard copied{update.text(), update.has_image() ? update.image_data() : "",
                              update.mime_type()};
      if (!copied.text.empty() || !copied.image_data.empty()) {
        last_from_host_ = copied;
        incoming_clipboard_.push_back(std::move(copied));
      }
      break;
    }
    case v1::ControlMessage::kPong:
      clock_.AddRoundTrip(message.pong().ping_timestamp_us(), message.pong().pong_timestamp_us(),
                          MonotonicMicros());
      break;
    case v1::ControlMessage::kStreamStopped:
      stream_stopped_ = true;
      break;
    default:
      break;
  }
}

bool ViewerSession::Send(client::ControlClient& control, v1::ControlMessage message) {
  return control.Send(std::move(message), control.primary_key().empty()
                                              ? client::FrameMode::kBare
                                              : client::FrameMode::kSealedPrimary);
}

}  // namespace orvane::viewer
