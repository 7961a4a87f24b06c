#include "viewer/media_loop.h"

#include <chrono>
#include <cstdio>

#include "viewer/audio_player.h"
#include "viewer/frame_slot.h"
#include "viewer/viewer_stats.h"

namespace orvane::viewer {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kReceiveWait{50};

}  // namespace

MediaLoop::MediaLoop(FrameSlot& frames, ViewerStats& stats, client::KeyframeRecovery& recovery,
                     AudioPlayer* audio)
    : frames_(frames), stats_(stats), recovery_(recovery), audio_(audio) {}

MediaLoop::~MediaLoop() {
  Stop();
}

bool MediaLoop::Start(client::MediaReceiver& receiver, orvane::protocol::v1::VideoCodec codec) {
  Stop();
  if (!decoder_.Open(codec)) {
    std::fprintf(stderr, "Cannot decode the stream: %s\n", decoder_.last_error().c_str());
    return false;
  }
  receiver_ = &receiver;
  reassembler_ = {};
  waiting_for_keyframe_ = true;
  lost_seen_ = 0;
  running_ = true;
  thread_ = std::thread(&MediaLoop::Run, this);
  return true;
}

void MediaLoop::Stop() {
  running_ = false;
  if (thread_.joinable()) {
    thread_.join();
  }
  decoder_.Close();
}

void MediaLoop::Run() {
  client::ReceivedMedia media;
  while (running_) {
    if (!receiver_->Receive(kReceiveWait, media)) {
      std::fprintf(stderr, "Media receive stopped: %s\n", receiver_->last_error().c_str());
      return;
    }
    switch (media.kind) {
      case client::MediaKind::kVideo:
        TakeVideo(media.video);
        break;
      case client::MediaKind::kAudio:
        reassembler_.AddAudio(media.audio.header);
        if (audio_ != nullptr) {
          audio_->Add(media.audio.payload);
        }
        break;
      case client::MediaKind::kUnopenable:
        reassembler_.CountUnopenable();
        break;
      case client::MediaKind::kMalformed:
        reassembler_.CountMalformed();
        break;
      case client::MediaKind::kNone:
        break;
    }
  }
}

void MediaLoop::TakeVideo(const VideoFragment& fragment) {
  const auto now = Clock::now();
  if ((fragment.header.flags & kKeyframeFlag) != 0) {
    recovery_.OnKeyframeStarted(now);
  }
  complete_.clear();
  reassembler_.AddFragment(fragment, complete_);
  const uint64_t lost = reassembler_.stats().frames_lost;
  if (lost != lost_seen_) {
    stats_.OnFramesLost(lost - lost_seen_);
    lost_seen_ = lost;
    // A frame the decoder never saw breaks every picture until the next keyframe; that
    // includes the stream's first keyframe, so a loss while waiting asks for one too.
    waiting_for_keyframe_ = true;
    recovery_.OnFrameLost(now);
  }
  for (const client::AccessUnit& unit : complete_) {
    stats_.OnFrameReceived(unit.bytes.size());
    if (unit.keyframe) {
      recovery_.OnKeyframeComplete(now);
      waiting_for_keyframe_ = false;
    }
    if (!waiting_for_keyframe_) {
      Show(unit);
    }
  }
}

void MediaLoop::Show(const client::AccessUnit& unit) {
  const auto began = Clock::now();
  const AVFrame* picture = decoder_.Decode(unit.bytes);
  if (picture == nullptr) {
    return;
  }
  stats_.OnDecoded(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - began));
  frames_.Put(picture, unit.timestamp_us);
}

}  // namespace orvane::viewer
