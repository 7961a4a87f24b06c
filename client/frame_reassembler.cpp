#include "client/frame_reassembler.h"

namespace orvane::client {
namespace {

// Serial-number distance from `from` to `to`; negative when `to` is older.
int64_t Distance(uint32_t from, uint32_t to) {
  return static_cast<int32_t>(to - from);
}

}  // namespace

void FrameReassembler::AddFragment(const VideoFragment& fragment,
                                   std::vector<AccessUnit>& complete) {
  const VideoFragmentHeader& header = fragment.header;
  if (any_emitted_ && Distance(last_emitted_, header.frame_number) <= 0) {
    ++stats_.late_fragments;
    return;
  }
  if (pending_.size() >= kMaxPendingFrames && !pending_.contains(header.frame_number)) {
    GiveUpOldestPending();
  }
  PendingFrame& frame = pending_[header.frame_number];
  if (frame.fragments.empty()) {
    frame.timestamp_us = header.timestamp_us;
    frame.fragments.resize(header.count);
  } else if (frame.fragments.size() != header.count) {
    ++stats_.malformed_datagrams;
    return;
  }
  std::vector<uint8_t>& slot = frame.fragments[header.index];
  if (!slot.empty()) {
    ++stats_.duplicate_fragments;
    return;
  }
  slot.assign(fragment.payload.begin(), fragment.payload.end());
  if (header.index == 0) {
    frame.keyframe = (header.flags & kKeyframeFlag) != 0;
  }
  ++frame.received;
  if (frame.received == frame.fragments.size()) {
    complete.push_back(Emit(header.frame_number, frame));
  }
}

AccessUnit FrameReassembler::Emit(uint32_t frame_number, PendingFrame& frame) {
  AccessUnit unit{frame_number, frame.timestamp_us, frame.keyframe, {}};
  for (const std::vector<uint8_t>& fragment : frame.fragments) {
    unit.bytes.insert(unit.bytes.end(), fragment.begin(), fragment.end());
  }
  if (any_emitted_) {
    stats_.frames_lost += static_cast<uint64_t>(Distance(last_emitted_, frame_number) - 1);
  }
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (Distance(frame_number, it->first) > 0) {
      ++it;
      continue;
    }
    // Before the first emission nothing else tells that an older frame existed.
    if (!any_emitted_ && it->first != frame_number) {
      ++stats_.frames_lost;
    }
    it = pending_.erase(it);
  }
  any_emitted_ = true;
  last_emitted_ = frame_number;
  ++stats_.frames_complete;
  stats_.keyframes += unit.keyframe ? 1 : 0;
  stats_.bytes += unit.bytes.size();
  return unit;
}

void FrameReassembler::GiveUpOldestPending() {
  // Pending frames all lie after the last emitted one, so the oldest is the one nearest
  // to it (the map's own order does not follow wrap-around).
  auto oldest = pending_.begin();
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (Distance(it->first, oldest->first) > 0) {
      oldest = it;
    }
  }
  // Once a frame has been emitted, the next emission counts every frame number it
  // skipped over, this one included.
  if (!any_emitted_) {
    ++stats_.frames_lost;
  }
  pending_.erase(oldest);
}

void FrameReassembler::AddAudio(const AudioPacketHeader& header) {
  ++stats_.audio_packets;
  if (any_audio_) {
    const int64_t skipped = Distance(next_audio_, header.sequence);
    if (skipped < 0) {
      return;
    }
    stats_.audio_missing += static_cast<uint64_t>(skipped);
  }
  any_audio_ = true;
  next_audio_ = header.sequence + 1;
}

}  // namespace orvane::client
