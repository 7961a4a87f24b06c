#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "net/media_packet.h"

namespace orvane::client {

// One complete video access unit, its fragments joined in index order.
struct AccessUnit {
  uint32_t frame_number = 0;
  uint64_t timestamp_us = 0;
  bool keyframe = false;
  std::vector<uint8_t> bytes;
};

struct MediaStats {
  uint64_t frames_complete = 0;
  uint64_t frames_lost = 0;
  uint64_t keyframes = 0;
  uint64_t bytes = 0;  // access-unit bytes of the complete frames
  uint64_t duplicate_fragments = 0;
  uint64_t late_fragments = 0;       // for frames already emitted or given up
  uint64_t malformed_datagrams = 0;  // opened, but no valid media packet inside
  uint64_t unopenable_datagrams = 0;
  uint64_t audio_packets = 0;
  uint64_t audio_missing = 0;  // sequence numbers skipped over
};

// Joins video fragments into access units and keeps the receive statistics.
//
// Units are emitted in frame-number order without waiting: the moment a frame's last
// missing fragment arrives, it is emitted and every older frame still incomplete (or
// never seen at all) is counted lost once and forgotten. Fragments of frames at or
// before the newest emitted one are late and dropped. Frame numbers compare with
// wrap-around, so a stream may run past 2^32 frames.
//
// At most kMaxPendingFrames frames wait for fragments at a time: a fragment of a frame
// beyond them gives up the oldest one (counted lost, like any frame skipped over), so
// that a sender of endless incomplete frames cannot make the client's memory grow.
//
// Audio packets are only counted; a sequence number ahead of the next expected one adds
// the skipped numbers to `audio_missing`, and a packet behind it changes nothing.
class FrameReassembler {
 public:
  static constexpr size_t kMaxPendingFrames = 32;

  // Appends to `complete` the unit this fragment completes, if any.
  void AddFragment(const VideoFragment& fragment, std::vector<AccessUnit>& complete);
  void AddAudio(const AudioPacketHeader& header);
  void CountUnopenable() { ++stats_.unopenable_datagrams; }
  void CountMalformed() { ++stats_.malformed_datagrams; }

  const MediaStats& stats() const { return stats_; }
  size_t pending_frames() const { return pending_.size(); }

 private:
  struct PendingFrame {
    uint64_t timestamp_us = 0;
    bool keyframe = false;
    uint16_t received = 0;
    std::vector<std::vector<uint8_t>> fragments;  // empty slot: not yet received
  };

  AccessUnit Emit(uint32_t frame_number, PendingFrame& frame);
  // Makes room for one more pending frame by giving up the oldest.
  void GiveUpOldestPending();

  MediaStats stats_;
  std::map<uint32_t, PendingFrame> pending_;
  bool any_emitted_ = false;
  uint32_t last_emitted_ = 0;
  bool any_audio_ = false;
  uint32_t next_audio_ = 0;
};

}  // namespace orvane::client
