#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane {

// Builds the messages the host sends and puts each on the wire with its header stamped
// (version 1, the connection's next sequence id, monotonic time). Any thread may send: the
// send callback hands the bytes to the connection's own writer.
class HostMessages {
 public:
  using SendCallback = std::function<bool(const uint8_t* data, uint32_t size)>;

  void SetSendCallback(SendCallback callback) { send_callback_ = std::move(callback); }

  // Stamps the header and sends the message bare (the connection seals it when a key
  // exists).
  void Send(protocol::v1::ControlMessage& message);

  void SendStreamWarmup(const std::string& session_id, const std::string& phase,
                        const std::string& reason, uint32_t deadline_ms);
  void SendStreamStarted(const std::string& session_id);
  void SendStreamStopped(const std::string& session_id);
  void SendFirstFrameProduced(const std::string& session_id, uint64_t timestamp_us,
                              uint64_t frame_number);
  void SendStatsReport(const std::string& session_id, float capture_ms_p50, float capture_ms_p95,
                       float encode_ms_p50, float encode_ms_p95, uint32_t current_bitrate_kbps);
  void SendErrorMessage(uint32_t error_code, const std::string& description, bool is_fatal);
  void SendRekeyRequired(const std::string& reason, uint64_t server_epoch);

  // Whether the last stream message told the client a stream runs.
  bool stream_active() const { return stream_active_.load(); }
  void ForgetStream() { stream_active_.store(false); }

 private:
  SendCallback send_callback_;
  std::atomic<uint64_t> sequence_id_{1};
  std::atomic<bool> stream_active_{false};
};

}  // namespace orvane
