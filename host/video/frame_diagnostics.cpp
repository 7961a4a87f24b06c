#include "video/frame_diagnostics.h"

#include "base/logger.h"

namespace orvane {
namespace {

unsigned long long Load(const std::atomic<uint64_t>& counter) {
  return counter.load(std::memory_order_relaxed);
}

}  // namespace

FrameDiagnostics::FrameDiagnostics(uint64_t stream_start_ns) : last_stats_ns_(stream_start_ns) {}

bool FrameDiagnostics::NoteFrameProduced(uint64_t frame_number, uint64_t timestamp_us,
                                         const std::string& session_id) {
  counters_.last_frame.store(frame_number, std::memory_order_relaxed);
  counters_.ts_us.store(timestamp_us, std::memory_order_relaxed);
  if (first_frame_seen_) {
    return false;
  }
  first_frame_seen_ = true;
  if (session_id.empty()) {
    return false;
  }
  LOG_INFO("[FrameDiag] First frame produced frame=%llu ts_us=%llu",
           static_cast<unsigned long long>(frame_number),
           static_cast<unsigned long long>(timestamp_us));
  return true;
}

void FrameDiagnostics::NoteEncodeFailure(uint32_t monitor, const Status& status) {
  counters_.encode_fail.fetch_add(1, std::memory_order_relaxed);
  LOG_WARN("[FrameDiag] Encode failed monitor=%u code=%d msg=%s hr=0x%08lX", monitor, status.code,
           status.message.c_str(), static_cast<unsigned long>(status.hr));
}

void FrameDiagnostics::NoteEmptyAccessUnit(uint32_t monitor, uint64_t frame_number,
                                           uint64_t timestamp_us, uint64_t now_ms) {
  counters_.empty_access_units.fetch_add(1, std::memory_order_relaxed);
  if (empty_unit_log_.Allow(now_ms)) {
    LOG_WARN("[FrameDiag] Encoder returned empty access unit (monitor=%u, frame=%llu, ts_us=%llu)",
             monitor, static_cast<unsigned long long>(frame_number),
             static_cast<unsigned long long>(timestamp_us));
  }
}

std::optional<StatsFigures> FrameDiagnostics::TakeStatsReport(uint64_t now_ns, bool stream_active) {
  if (now_ns - last_stats_ns_ < kStatsPeriodNs || !stream_active) {
    return std::nullopt;
  }
  last_stats_ns_ = now_ns;
  StatsFigures figures{capture_times_.Percentile(50), capture_times_.Percentile(95),
                       encode_times_.Percentile(50), encode_times_.Percentile(95)};
  capture_times_.Clear();
  encode_times_.Clear();
  return figures;
}

void FrameDiagnostics::LogPipeline(uint64_t now_ms, const char* active_backend) {
  if (!pipeline_log_.Allow(now_ms)) {
    return;
  }
  const PipelineCounters& c = counters_;
  LOG_INFO(
      "[FrameDiag] Pipeline total_frames=%llu capture_fail=%llu dup_reinit=%llu wgc_reinit=%llu "
      "dup_timeout=%llu wgc_timeout=%llu backend_switch=%llu active_backend=%s encode_fail=%llu "
      "access_units=%llu empty_access_units=%llu send_fail=%llu last_frame=%llu ts_us=%llu",
      Load(c.total_frames), Load(c.capture_fail), Load(c.dup_reinit), Load(c.wgc_reinit),
      Load(c.dup_timeout), Load(c.wgc_timeout), Load(c.backend_switch), active_backend,
      Load(c.encode_fail), Load(c.access_units), Load(c.empty_access_units), Load(c.send_fail),
      Load(c.last_frame), Load(c.ts_us));
}

void FrameDiagnostics::LogStopped(const char* active_backend) {
  const PipelineCounters& c = counters_;
  LOG_INFO_COLLAPSED("[FrameLoop] Stopped after %llu frames", Load(c.total_frames));
  LOG_INFO_COLLAPSED(
      "[FrameDiag] Final pipeline total_frames=%llu capture_fail=%llu dup_reinit=%llu "
      "wgc_reinit=%llu dup_timeout=%llu wgc_timeout=%llu backend_switch=%llu active_backend=%s "
      "encode_fail=%llu access_units=%llu empty_access_units=%llu send_fail=%llu",
      Load(c.total_frames), Load(c.capture_fail), Load(c.dup_reinit), Load(c.wgc_reinit),
      Load(c.dup_timeout), Load(c.wgc_timeout), Load(c.backend_switch), active_backend,
      Load(c.encode_fail), Load(c.access_units), Load(c.empty_access_units), Load(c.send_fail));
}

}  // namespace orvane
