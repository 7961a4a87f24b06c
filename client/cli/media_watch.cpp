#include "client/cli/media_watch.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/clock.h"

namespace orvane::client::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kReceiveWait{100};
constexpr std::chrono::seconds kReportPeriod{1};

unsigned long long Count(uint64_t value) {
  return static_cast<unsigned long long>(value);
}

}  // namespace

MediaWatch::~MediaWatch() {
  if (thread_.joinable()) {
    running_ = false;
    thread_.join();
  }
}

void MediaWatch::Start(MediaReceiver& receiver, std::ofstream& out, AudioTrack& audio,
                       KeyframeRecovery* recovery, bool same_clock) {
  receiver_ = &receiver;
  out_ = &out;
  audio_ = &audio;
  recovery_ = recovery;
  same_clock_ = same_clock;
  running_ = true;
  thread_ = std::thread(&MediaWatch::Run, this);
}

void MediaWatch::Stop() {
  running_ = false;
  if (thread_.joinable()) {
    thread_.join();
  }
}

void MediaWatch::Run() {
  const Clock::time_point origin = Clock::now();
  Clock::time_point next_report = origin + kReportPeriod;
  ReceivedMedia media;
  while (running_) {
    if (!receiver_->Receive(kReceiveWait, media)) {
      std::fprintf(stderr, "Media receive stopped: %s\n", receiver_->last_error().c_str());
      break;
    }
    Take(media);
    if (Clock::now() >= next_report) {
      PrintPeriod(std::chrono::duration<double>(Clock::now() - origin).count());
      next_report += kReportPeriod;
    }
  }
  PrintTotals(std::chrono::duration<double>(Clock::now() - origin).count());
}

void MediaWatch::Take(const ReceivedMedia& media) {
  if (media.kind == MediaKind::kNone) {
    return;
  }
  if (media.sealed) {
    envelopes_.AddSealed(media.counter);
  } else {
    envelopes_.AddBare();
  }
  switch (media.kind) {
    case MediaKind::kNone:
      return;
    case MediaKind::kUnopenable:
      reassembler_.CountUnopenable();
      return;
    case MediaKind::kMalformed:
      reassembler_.CountMalformed();
      return;
    case MediaKind::kAudio:
      reassembler_.AddAudio(media.audio.header);
      audio_->Add(media.audio);
      sealed_audio_ += media.sealed ? 1 : 0;
      return;
    case MediaKind::kVideo:
      TakeVideo(media.video);
      return;
  }
}

void MediaWatch::TakeVideo(const VideoFragment& fragment) {
  const Clock::time_point now = Clock::now();
  if (recovery_ != nullptr && (fragment.header.flags & kKeyframeFlag) != 0) {
    recovery_->OnKeyframeStarted(now);
  }
  const uint64_t lost_before = reassembler_.stats().frames_lost;
  complete_.clear();
  reassembler_.AddFragment(fragment, complete_);
  frames_complete_.store(reassembler_.stats().frames_complete);
  if (recovery_ != nullptr && reassembler_.stats().frames_lost != lost_before) {
    recovery_->OnFrameLost(now);
  }
  for (const AccessUnit& unit : complete_) {
    if (recovery_ != nullptr) {
      // Nothing decodes before the first keyframe, whether or not a loss was seen.
      if (unit.keyframe) {
        recovery_->OnKeyframeComplete(now);
      } else if (!keyframe_seen_) {
        recovery_->OnFrameLost(now);
      }
    }
    keyframe_seen_ |= unit.keyframe;
    const auto delay_us =
        static_cast<int64_t>(MonotonicMicros()) - static_cast<int64_t>(unit.timestamp_us);
    period_.delays.Add(delay_us);
    all_delays_.Add(delay_us);
    if (out_->is_open()) {
      out_->write(reinterpret_cast<const char*>(unit.bytes.data()),
                  static_cast<std::streamsize>(unit.bytes.size()));
    }
  }
}

void MediaWatch::PrintPeriod(double seconds) {
  const MediaStats& now = reassembler_.stats();
  const MediaStats& start = period_.start;
  std::printf(
      "[media +%.1f s] %llu frames (%llu key), %.2f Mbit/s, lost %llu, duplicates %llu, "
      "audio %llu%s%s\n",
      seconds, Count(now.frames_complete - start.frames_complete),
      Count(now.keyframes - start.keyframes),
      static_cast<double>(now.bytes - start.bytes) * 8.0 / 1e6,
      Count(now.frames_lost - start.frames_lost),
      Count(now.duplicate_fragments - start.duplicate_fragments),
      Count(now.audio_packets - start.audio_packets), same_clock_ ? ", " : "",
      same_clock_ ? ("delay " + period_.delays.Milliseconds()).c_str() : "");
  std::fflush(stdout);
  period_ = Period{now, {}};
}

void MediaWatch::PrintTotals(double seconds) const {
  const MediaStats& stats = reassembler_.stats();
  std::printf(
      "Media in %.1f s: %llu frames received, %llu keyframes, %llu bytes, %llu lost frames, "
      "%llu duplicate and %llu late fragments, %llu datagrams that did not open, %llu "
      "malformed, %llu audio packets (%llu missing)\n",
      seconds, Count(stats.frames_complete), Count(stats.keyframes), Count(stats.bytes),
      Count(stats.frames_lost), Count(stats.duplicate_fragments), Count(stats.late_fragments),
      Count(stats.unopenable_datagrams), Count(stats.malformed_datagrams),
      Count(stats.audio_packets), Count(stats.audio_missing));
  if (same_clock_) {
    std::printf("Host-to-client %s over %zu access units\n",
                ("delay " + all_delays_.Milliseconds()).c_str(), all_delays_.count());
  }
  std::printf("%s\n", audio_->Summary().c_str());
  std::printf(
      "Envelopes: %llu sealed (%llu audio), %llu bare, %llu counters not increasing, %llu "
      "skipped\n",
      Count(envelopes_.sealed()), Count(sealed_audio_), Count(envelopes_.bare()),
      Count(envelopes_.not_increasing()), Count(envelopes_.skipped()));
  std::fflush(stdout);
}

}  // namespace orvane::client::cli
