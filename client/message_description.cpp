#include "client/message_description.h"

#include <cstdio>
#include <string_view>

#include "security/key_fingerprint.h"

namespace orvane::client {

namespace v1 = orvane::protocol::v1;

namespace {

// Appends ` name=value` pieces to one line.
class Line {
 public:
  explicit Line(std::string_view type, uint64_t sequence_id) : text_(type) {
    Number("seq", sequence_id);
  }

  Line& Text(std::string_view name, std::string_view value) {
    Name(name);
    text_ += '"';
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (byte < 0x20 || byte == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
        text_ += escaped;
      } else {
        text_ += c;
      }
    }
    text_ += '"';
    return *this;
  }
  // A value that needs no quoting, such as a size or a list.
  Line& Raw(std::string_view name, std::string_view value) {
    Name(name);
    text_ += value;
    return *this;
  }
  Line& Number(std::string_view name, uint64_t value) {
    Name(name);
    text_ += std::to_string(value);
    return *this;
  }
  Line& Signed(std::string_view name, int64_t value) {
    Name(name);
    text_ += std::to_string(value);
    return *this;
  }
  Line& Real(std::string_view name, float value) {
    char number[32];
    std::snprintf(number, sizeof(number), "%.2f", static_cast<double>(value));
    Name(name);
    text_ += number;
    return *this;
  }
  Line& Flag(std::string_view name, bool value) {
    Name(name);
    text_ += value ? "yes" : "no";
    return *this;
  }
  // The enum's own name without `prefix`, or the bare number for values the schema lacks.
  Line& Enum(std::string_view name, const std::string& value_name, std::string_view prefix,
             int value) {
    Name(name);
    if (value_name.empty()) {
      text_ += std::to_string(value);
    } else if (value_name.compare(0, prefix.size(), prefix) == 0) {
      text_ += value_name.substr(prefix.size());
    } else {
      text_ += value_name;
    }
    return *this;
  }
  Line& Bytes(std::string_view name, const std::string& value) {
    Name(name);
    if (value.empty()) {
      text_ += "none";
    } else {
      const auto* bytes = reinterpret_cast<const uint8_t*>(value.data());
      text_ += std::to_string(value.size()) + "B/" + KeyFingerprint({bytes, value.size()});
    }
    return *this;
  }
  Line& Numbers(std::string_view name, const auto& values) {
    Name(name);
    text_ += '[';
    for (int i = 0; i < values.size(); ++i) {
      text_ += (i == 0 ? "" : ",") + std::to_string(values.Get(i));
    }
    text_ += ']';
    return *this;
  }

  std::string Take() { return std::move(text_); }

 private:
  void Name(std::string_view name) {
    text_ += ' ';
    text_ += name;
    text_ += '=';
  }

  std::string text_;
};

Line& Codec(Line& line, std::string_view name, int codec) {
  return line.Enum(name, v1::VideoCodec_Name(codec), "VIDEO_CODEC_", codec);
}

std::string CodecList(const google::protobuf::RepeatedField<int>& codecs) {
  std::string text = "[";
  for (int i = 0; i < codecs.size(); ++i) {
    const std::string& name = v1::VideoCodec_Name(codecs.Get(i));
    text += (i == 0 ? "" : ",");
    text += name.empty() ? std::to_string(codecs.Get(i)) : name.substr(sizeof("VIDEO_CODEC_") - 1);
  }
  return text + "]";
}

std::string Size(const v1::Resolution& resolution) {
  return std::to_string(resolution.width()) + "x" + std::to_string(resolution.height());
}

std::string DescribeHello(const v1::Hello& m, uint64_t seq) {
  return Line("Hello", seq)
      .Text("client_id", m.client_id())
      .Text("client_name", m.client_name())
      .Text("app_version", m.app_version())
      .Number("protocol_version", m.protocol_version())
      .Bytes("proof", m.pairing_proof())
      .Bytes("key", m.ephemeral_public_key())
      .Take();
}

std::string DescribeHelloAck(const v1::HelloAck& m, uint64_t seq) {
  Line line("HelloAck", seq);
  line.Enum("result", v1::AuthResult_Name(m.result()), "AUTH_RESULT_", m.result())
      .Text("host_id", m.host_id())
      .Text("host_name", m.host_name())
      .Bytes("host_key", m.ephemeral_public_key());
  if (!m.pairing_code().empty()) {
    line.Text("pairing_code", m.pairing_code());
  }
  return line.Take();
}

std::string DescribeCapabilityExchange(const v1::CapabilityExchange& m, uint64_t seq) {
  Line line("CapabilityExchange", seq);
  line.Raw("codecs", CodecList(m.supported_codecs()))
      .Numbers("fps", m.supported_fps())
      .Flag("opus", m.audio().opus_supported())
      .Flag("touch", m.input().touch())
      .Flag("pen", m.input().pen_pressure())
      .Flag("keyboard", m.input().keyboard());
  if (m.has_preferred_resolution()) {
    line.Raw("resolution", Size(m.preferred_resolution()));
  }
  return line.Text("device_model", m.device_model()).Text("os", m.os_version()).Take();
}

std::string DescribeCapabilityAccept(const v1::CapabilityAccept& m, uint64_t seq) {
  Line line("CapabilityAccept", seq);
  Codec(line, "codec", m.selected_codec())
      .Number("fps", m.selected_fps())
      .Raw("resolution", Size(m.selected_resolution()))
      .Flag("audio", m.audio_enabled())
      .Flag("input", m.input_enabled())
      .Number("bitrate_kbps", m.initial_bitrate_kbps())
      .Number("media_port", m.media_udp_port())
      .Number("input_port", m.input_udp_port())
      .Flag("fec", m.fec_enabled());
  return line.Take();
}

std::string DescribeStatsReport(const v1::StatsReport& m, uint64_t seq) {
  return Line("StatsReport", seq)
      .Text("session_id", m.session_id())
      .Number("timestamp_us", m.timestamp_us())
      .Real("rtt_ms", m.rtt_ms())
      .Real("jitter_ms", m.jitter_ms())
      .Real("loss_pct", m.packet_loss_pct())
      .Real("decode_ms", m.avg_decode_ms())
      .Number("render_drops", m.render_drop_count())
      .Number("keyframe_requests", m.keyframe_request_count())
      .Real("audio_jitter_ms", m.audio_jitter_ms())
      .Real("audio_drift_ms", m.audio_drift_ms())
      .Real("input_rtt_ms", m.input_rtt_ms())
      .Number("injection_failures", m.input_injection_fail_count())
      .Real("capture_p50_ms", m.capture_ms_p50())
      .Real("capture_p95_ms", m.capture_ms_p95())
      .Real("encode_p50_ms", m.encode_ms_p50())
      .Real("encode_p95_ms", m.encode_ms_p95())
      .Number("bitrate_kbps", m.current_bitrate_kbps())
      .Take();
}

std::string DescribeCursorUpdate(const v1::CursorUpdate& m, uint64_t seq) {
  return Line("CursorUpdate", seq)
      .Signed("x", m.position_x())
      .Signed("y", m.position_y())
      .Text("shape", m.shape())
      .Signed("hotspot_x", m.hotspot_x())
      .Signed("hotspot_y", m.hotspot_y())
      .Raw("size", std::to_string(m.width()) + "x" + std::to_string(m.height()))
      .Bytes("bitmap", m.bitmap_argb())
      .Flag("visible", m.visible())
      .Take();
}

}  // namespace

std::string Describe(const v1::ControlMessage& message) {
  using Case = v1::ControlMessage::PayloadCase;
  const uint64_t seq = message.sequence_id();
  switch (message.payload_case()) {
    case Case::kHello:
      return DescribeHello(message.hello(), seq);
    case Case::kHelloAck:
      return DescribeHelloAck(message.hello_ack(), seq);
    case Case::kCapabilityExchange:
      return DescribeCapabilityExchange(message.capability_exchange(), seq);
    case Case::kCapabilityAccept:
      return DescribeCapabilityAccept(message.capability_accept(), seq);
    case Case::kStartStream:
      return Line("StartStream", seq)
          .Text("session_id", message.start_stream().session_id())
          .Take();
    case Case::kStopStream: {
      const v1::StopStream& m = message.stop_stream();
      return Line("StopStream", seq)
          .Text("session_id", m.session_id())
          .Enum("reason", v1::StopReason_Name(m.reason()), "STOP_REASON_", m.reason())
          .Take();
    }
    case Case::kStreamStarted: {
      const v1::StreamStarted& m = message.stream_started();
      return Line("StreamStarted", seq)
          .Text("session_id", m.session_id())
          .Text("stream_id", m.stream_id())
          .Number("start_timestamp_us", m.start_timestamp_us())
          .Take();
    }
    case Case::kStreamStopped:
      return Line("StreamStopped", seq)
          .Text("session_id", message.stream_stopped().session_id())
          .Take();
    case Case::kStreamWarmup: {
      const v1::StreamWarmup& m = message.stream_warmup();
      return Line("StreamWarmup", seq)
          .Text("session_id", m.session_id())
          .Text("phase", m.phase())
          .Text("reason", m.reason())
          .Number("first_frame_deadline_ms", m.expected_first_frame_deadline_ms())
          .Take();
    }
    case Case::kFirstFrameProduced: {
      const v1::FirstFrameProduced& m = message.first_frame_produced();
      return Line("FirstFrameProduced", seq)
          .Text("session_id", m.session_id())
          .Number("timestamp_us", m.timestamp_us())
          .Number("frame_number", m.frame_number())
          .Take();
    }
    case Case::kFirstFrameRendered: {
      const v1::FirstFrameRendered& m = message.first_frame_rendered();
      return Line("FirstFrameRendered", seq)
          .Text("session_id", m.session_id())
          .Number("timestamp_us", m.timestamp_us())
          .Number("rendered_frames", m.rendered_frames())
          .Take();
    }
    case Case::kSetQualityProfile: {
      const v1::SetQualityProfile& m = message.set_quality_profile();
      Line line("SetQualityProfile", seq);
      line.Number("bitrate_kbps", m.target_bitrate_kbps()).Number("fps", m.target_fps());
      return Codec(line, "codec", m.codec()).Take();
    }
    case Case::kRequestKeyframe:
      return Line("RequestKeyframe", seq)
          .Text("stream_id", message.request_keyframe().stream_id())
          .Take();
    case Case::kSetAudioEnabled:
      return Line("SetAudioEnabled", seq)
          .Flag("enabled", message.set_audio_enabled().enabled())
          .Take();
    case Case::kStartFileTransfer: {
      const v1::StartFileTransfer& m = message.start_file_transfer();
      return Line("StartFileTransfer", seq)
          .Text("transfer_id", m.transfer_id())
          .Text("filename", m.filename())
          .Number("size", m.file_size_bytes())
          .Text("sha256", m.checksum_sha256())
          .Enum("direction", v1::TransferDirection_Name(m.direction()), "TRANSFER_DIRECTION_",
                m.direction())
          .Take();
    }
    case Case::kFileTransferAck: {
      const v1::FileTransferAck& m = message.file_transfer_ack();
      return Line("FileTransferAck", seq)
          .Text("transfer_id", m.transfer_id())
          .Enum("status", v1::FileTransferStatus_Name(m.status()), "FILE_TRANSFER_STATUS_",
                m.status())
          .Number("resume_offset", m.resume_offset())
          .Take();
    }
    case Case::kCursorUpdate:
      return DescribeCursorUpdate(message.cursor_update(), seq);
    case Case::kClipboardUpdate: {
      const v1::ClipboardUpdate& m = message.clipboard_update();
      return Line("ClipboardUpdate", seq)
          .Text("text", m.text())
          .Flag("has_image", m.has_image())
          .Bytes("image", m.image_data())
          .Text("mime_type", m.mime_type())
          .Take();
    }
    case Case::kStatsReport:
      return DescribeStatsReport(message.stats_report(), seq);
    case Case::kPing:
      return Line("Ping", seq)
          .Number("send_timestamp_us", message.ping().send_timestamp_us())
          .Take();
    case Case::kPong:
      return Line("Pong", seq)
          .Number("ping_timestamp_us", message.pong().ping_timestamp_us())
          .Number("pong_timestamp_us", message.pong().pong_timestamp_us())
          .Take();
    case Case::kError: {
      const v1::ErrorMessage& m = message.error();
      return Line("ErrorMessage", seq)
          .Number("code", m.error_code())
          .Text("description", m.error_description())
          .Flag("fatal", m.is_fatal())
          .Take();
    }
    case Case::kSessionTerminate:
      return Line("SessionTerminate", seq)
          .Text("session_id", message.session_terminate().session_id())
          .Text("reason", message.session_terminate().reason())
          .Take();
    case Case::kKeyRotation:
      return Line("KeyRotation", seq)
          .Number("next_epoch", message.key_rotation().next_epoch())
          .Bytes("key", message.key_rotation().ephemeral_public_key())
          .Take();
    case Case::kKeyRotationAck:
      return Line("KeyRotationAck", seq)
          .Number("next_epoch", message.key_rotation_ack().next_epoch())
          .Flag("accepted", message.key_rotation_ack().accepted())
          .Take();
    case Case::kRekeyRequired:
      return Line("RekeyRequired", seq)
          .Text("reason", message.rekey_required().reason())
          .Number("server_epoch", message.rekey_required().server_epoch())
          .Take();
    case Case::PAYLOAD_NOT_SET:
      break;
  }
  return Line("(no payload)", seq).Take();
}

}  // namespace orvane::client
