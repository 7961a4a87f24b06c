#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "client/frame_reassembler.h"
#include "client/keyframe_recovery.h"
#include "client/media_receiver.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "viewer/video_decoder.h"

namespace orvane::viewer {

class AudioPlayer;
class FrameSlot;
class ViewerStats;

// One stream's media thread: receives datagrams, joins video fragments into access units,
// decodes them and hands each picture to the window; a lost frame breaks the picture until
// the next keyframe, which `recovery` asks for. Audio packets go to the player.
class MediaLoop {
 public:
  MediaLoop(FrameSlot& frames, ViewerStats& stats, client::KeyframeRecovery& recovery,
            AudioPlayer* audio);
  ~MediaLoop();
  MediaLoop(const MediaLoop&) = delete;
  MediaLoop& operator=(const MediaLoop&) = delete;

  // `receiver` must outlive the loop.
  bool Start(client::MediaReceiver& receiver, orvane::protocol::v1::VideoCodec codec);
  void Stop();

 private:
  void Run();
  void TakeVideo(const VideoFragment& fragment);
  void Show(const client::AccessUnit& unit);

  FrameSlot& frames_;
  ViewerStats& stats_;
  client::KeyframeRecovery& recovery_;
  AudioPlayer* audio_;
  client::MediaReceiver* receiver_ = nullptr;
  VideoDecoder decoder_;
  client::FrameReassembler reassembler_;
  std::vector<client::AccessUnit> complete_;
  bool waiting_for_keyframe_ = true;
  uint64_t lost_seen_ = 0;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace orvane::viewer
