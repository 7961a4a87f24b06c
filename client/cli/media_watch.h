#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <thread>

#include "client/cli/audio_track.h"
#include "client/delay_samples.h"
#include "client/envelope_counters.h"
#include "client/frame_reassembler.h"
#include "client/keyframe_recovery.h"
#include "client/media_receiver.h"

namespace orvane::client::cli {

// Receives media on a thread of its own while the control channel is watched on the
// caller's: reassembles video, appends the access units to an optional file, decodes the
// audio (see AudioTrack), checks the envelope counters and prints a stats line every
// second.
class MediaWatch {
 public:
  MediaWatch() = default;
  ~MediaWatch();
  MediaWatch(const MediaWatch&) = delete;
  MediaWatch& operator=(const MediaWatch&) = delete;

  // `receiver`, `out` (closed: no recording), `audio` and `recovery` (null: losses are
  // only counted) must outlive the watch. Delays are shown only with `same_clock`: host
  // timestamps mean nothing on another machine's clock.
  void Start(MediaReceiver& receiver, std::ofstream& out, AudioTrack& audio,
             KeyframeRecovery* recovery, bool same_clock);
  // Joins the thread and prints the totals.
  void Stop();
  // Complete video frames so far; safe from any thread.
  uint64_t frames_complete() const { return frames_complete_.load(); }

 private:
  // Keeps the counts of one reporting period and of the whole run.
  struct Period {
    MediaStats start;
    DelaySamples delays;
  };

  void Run();
  void Take(const ReceivedMedia& media);
  void TakeVideo(const VideoFragment& fragment);
  void PrintPeriod(double seconds);
  void PrintTotals(double seconds) const;

  MediaReceiver* receiver_ = nullptr;
  std::ofstream* out_ = nullptr;
  AudioTrack* audio_ = nullptr;
  KeyframeRecovery* recovery_ = nullptr;
  bool keyframe_seen_ = false;
  bool same_clock_ = false;
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> frames_complete_{0};
  std::thread thread_;
  FrameReassembler reassembler_;
  std::vector<AccessUnit> complete_;
  Period period_;
  DelaySamples all_delays_;
  EnvelopeCounters envelopes_;
  uint64_t sealed_audio_ = 0;
};

}  // namespace orvane::client::cli
