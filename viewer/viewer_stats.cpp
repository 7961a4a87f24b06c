#include "viewer/viewer_stats.h"

#include <cstdio>

namespace orvane::viewer {
namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[160];
  std::snprintf(text, sizeof(text), format, a, b, c);
  return text;
}

}  // namespace

void ViewerStats::OnFrameReceived(size_t bytes) {
  std::lock_guard lock(mutex_);
  ++total_.received;
  total_.bytes += bytes;
}

void ViewerStats::OnFramesLost(uint64_t count) {
  std::lock_guard lock(mutex_);
  total_.lost += count;
}

void ViewerStats::OnDecoded(std::chrono::microseconds took) {
  std::lock_guard lock(mutex_);
  ++total_.decoded;
  total_.decode_us += static_cast<uint64_t>(took.count());
}

void ViewerStats::OnKeyframeRequested() {
  std::lock_guard lock(mutex_);
  ++total_.keyframe_requests;
}

void ViewerStats::OnPresented(std::optional<int64_t> capture_to_present_us) {
  std::lock_guard lock(mutex_);
  ++total_.presented;
  if (capture_to_present_us) {
    period_latency_.Add(*capture_to_present_us);
    all_latency_.Add(*capture_to_present_us);
  }
}

void ViewerStats::Tick(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (!period_began_) {
    period_began_ = now;
    return;
  }
  const double seconds = std::chrono::duration<double>(now - *period_began_).count();
  if (seconds < 1.0) {
    return;
  }
  const Counts& a = period_start_;
  const Counts& b = total_;
  const double decoded = static_cast<double>(b.decoded - a.decoded);
  const double lost = static_cast<double>(b.lost - a.lost);
  const double received = static_cast<double>(b.received - a.received);
  lines_ = {
      Format("received %.0f  decoded %.0f  presented %.0f fps", received / seconds,
             decoded / seconds, static_cast<double>(b.presented - a.presented) / seconds),
      Format("%.0f kbit/s  loss %.1f %%  keyframe requests %.0f",
             static_cast<double>(b.bytes - a.bytes) * 8 / 1000 / seconds,
             received + lost > 0 ? 100 * lost / (received + lost) : 0,
             static_cast<double>(b.keyframe_requests)),
      Format("decode %.2f ms",
             decoded > 0 ? static_cast<double>(b.decode_us - a.decode_us) / decoded / 1000 : 0),
      "capture to present " + period_latency_.Milliseconds(),
  };
  period_start_ = total_;
  period_latency_ = {};
  period_began_ = now;
}

std::vector<std::string> ViewerStats::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string ViewerStats::Summary() const {
  std::lock_guard lock(mutex_);
  char text[256];
  std::snprintf(text, sizeof(text),
                "Frames: %llu received, %llu lost, %llu decoded, %llu presented; %llu keyframe "
                "requests\nCapture to present: %s (%zu frames)\n",
                static_cast<unsigned long long>(total_.received),
                static_cast<unsigned long long>(total_.lost),
                static_cast<unsigned long long>(total_.decoded),
                static_cast<unsigned long long>(total_.presented),
                static_cast<unsigned long long>(total_.keyframe_requests),
                all_latency_.Milliseconds().c_str(), all_latency_.count());
  return text;
}

}  // namespace orvane::viewer
