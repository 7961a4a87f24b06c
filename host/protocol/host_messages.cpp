#include "protocol/host_messages.h"

#include "platform/clock.h"

namespace orvane {

namespace pb = protocol::v1;

void HostMessages::Send(pb::ControlMessage& message) {
  message.set_protocol_version(1);
  message.set_sequence_id(sequence_id_.fetch_add(1));
  message.set_timestamp_us(MonotonicMicros());
  if (!send_callback_) {
    return;
  }
  const std::string bytes = message.SerializeAsString();
  send_callback_(reinterpret_cast<const uint8_t*>(bytes.data()),
                 static_cast<uint32_t>(bytes.size()));
}

void HostMessages::SendStreamWarmup(const std::string& session_id, const std::string& phase,
                                    const std::string& reason, uint32_t deadline_ms) {
  pb::ControlMessage message;
  pb::StreamWarmup* warmup = message.mutable_stream_warmup();
  warmup->set_session_id(session_id);
  warmup->set_phase(phase);
  warmup->set_reason(reason);
  warmup->set_expected_first_frame_deadline_ms(deadline_ms);
  Send(message);
}

void HostMessages::SendStreamStarted(const std::string& session_id) {
  stream_active_.store(true);
  pb::ControlMessage message;
  pb::StreamStarted* started = message.mutable_stream_started();
  started->set_session_id(session_id);
  started->set_stream_id(session_id);
  started->set_start_timestamp_us(MonotonicMicros());
  Send(message);
}

void HostMessages::SendStreamStopped(const std::string& session_id) {
  stream_active_.store(false);
  pb::ControlMessage message;
  message.mutable_stream_stopped()->set_session_id(session_id);
  Send(message);
}

void HostMessages::SendFirstFrameProduced(const std::string& session_id, uint64_t timestamp_us,
                                          uint64_t frame_number) {
  pb::ControlMessage message;
  pb::FirstFrameProduced* produced = message.mutable_first_frame_produced();
  produced->set_session_id(session_id);
  produced->set_timestamp_us(timestamp_us);
  produced->set_frame_number(frame_number);
  Send(message);
}

void HostMessages::SendStatsReport(const std::string& session_id, float capture_ms_p50,
                                   float capture_ms_p95, float encode_ms_p50, float encode_ms_p95,
                                   uint32_t current_bitrate_kbps) {
  pb::ControlMessage message;
  pb::StatsReport* stats = message.mutable_stats_report();
  stats->set_session_id(session_id);
  stats->set_timestamp_us(MonotonicMicros());
  stats->set_capture_ms_p50(capture_ms_p50);
  stats->set_capture_ms_p95(capture_ms_p95);
  stats->set_encode_ms_p50(encode_ms_p50);
  stats->set_encode_ms_p95(encode_ms_p95);
  stats->set_current_bitrate_kbps(current_bitrate_kbps);
  Send(message);
}

void HostMessages::SendErrorMessage(uint32_t error_code, const std::string& description,
                                    bool is_fatal) {
  pb::ControlMessage message;
  pb::ErrorMessage* error = message.mutable_error();
  error->set_error_code(error_code);
  error->set_error_description(description);
  error->set_is_fatal(is_fatal);
  Send(message);
}

void HostMessages::SendRekeyRequired(const std::string& reason, uint64_t server_epoch) {
  pb::ControlMessage message;
  pb::RekeyRequired* rekey = message.mutable_rekey_required();
  rekey->set_reason(reason);
  rekey->set_server_epoch(server_epoch);
  Send(message);
}

}  // namespace orvane
