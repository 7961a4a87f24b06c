#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "base/rate_limiter.h"
#include "base/status.h"
#include "video/timing_window.h"

namespace orvane {

// Counters of one stream's pipeline, logged by these names.
struct PipelineCounters {
  std::atomic<uint64_t> total_frames{0};
  std::atomic<uint64_t> capture_fail{0};
  std::atomic<uint64_t> dup_reinit{0};
  std::atomic<uint64_t> wgc_reinit{0};
  std::atomic<uint64_t> dup_timeout{0};
  std::atomic<uint64_t> wgc_timeout{0};
  std::atomic<uint64_t> backend_switch{0};
  std::atomic<uint64_t> encode_fail{0};
  std::atomic<uint64_t> access_units{0};
  std::atomic<uint64_t> empty_access_units{0};
  std::atomic<uint64_t> send_fail{0};
  std::atomic<uint64_t> last_frame{0};
  std::atomic<uint64_t> ts_us{0};
};

// Figures of one StatsReport; the bitrate comes from the bitrate controller.
struct StatsFigures {
  float capture_ms_p50 = 0;
  float capture_ms_p95 = 0;
  float encode_ms_p50 = 0;
  float encode_ms_p95 = 0;
};

// The frame loop's bookkeeping and "[FrameDiag]" lines for one stream. Frame loop thread
// only; the counters are atomic so that a reader elsewhere sees whole values.
class FrameDiagnostics {
 public:
  static constexpr uint64_t kPipelineLogPeriodMs = 2000;
  static constexpr uint64_t kEmptyUnitLogPeriodMs = 1000;
  static constexpr uint64_t kStatsPeriodNs = 5000000000;

  // stream_start_ns: monotonic time the stream's loop started; the first StatsReport is
  // due one period later.
  explicit FrameDiagnostics(uint64_t stream_start_ns);

  PipelineCounters& counters() { return counters_; }
  const PipelineCounters& counters() const { return counters_; }

  // A captured frame went to the encoder. True exactly once per stream, for its first
  // frame, when the client has a session id to be told about it (the caller then sends
  // FirstFrameProduced). A first frame without a session id is never reported later.
  bool NoteFrameProduced(uint64_t frame_number, uint64_t timestamp_us,
                         const std::string& session_id);

  void NoteEncodeFailure(uint32_t monitor, const Status& status);
  void NoteEmptyAccessUnit(uint32_t monitor, uint64_t frame_number, uint64_t timestamp_us,
                           uint64_t now_ms);

  void AddCaptureSample(float ms) { capture_times_.Add(ms); }
  void AddEncodeSample(float ms) { encode_times_.Add(ms); }

  // The figures of a StatsReport when one is due: a period has passed since the last one
  // and the client's stream is active. Without an active stream the period keeps running,
  // so the report goes out as soon as the stream becomes active.
  std::optional<StatsFigures> TakeStatsReport(uint64_t now_ns, bool stream_active);

  // The periodic "[FrameDiag] Pipeline ..." line, at most once per 2 s.
  void LogPipeline(uint64_t now_ms, const char* active_backend);
  // The two lines of a stopped stream.
  void LogStopped(const char* active_backend);

 private:
  PipelineCounters counters_;
  bool first_frame_seen_ = false;
  RateLimiter pipeline_log_{kPipelineLogPeriodMs};
  RateLimiter empty_unit_log_{kEmptyUnitLogPeriodMs};
  uint64_t last_stats_ns_;
  TimingWindow capture_times_;
  TimingWindow encode_times_;
};

}  // namespace orvane
