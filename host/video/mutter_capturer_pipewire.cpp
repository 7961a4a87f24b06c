#include "video/mutter_capturer_pipewire.h"

#include <utility>

namespace orvane {

MutterCapturer::MutterCapturer(std::shared_ptr<MutterRemoteDesktop> mutter,
                               std::shared_ptr<StreamCursorFeed> cursor, MutterRecording recording)
    : mutter_(std::move(mutter)),
      cursor_(std::move(cursor)),
      recording_(recording),
      consumer_(cursor_) {}

MutterCapturer::~MutterCapturer() {
  Release();
}

bool MutterCapturer::Initialize(uint32_t output_index, uint32_t, uint32_t) {
  if (stop_.stopped()) {
    return false;
  }
  MutterRecording recording = recording_;
  recording.output_index = output_index;
  MutterStream stream;
  if (mutter_->Start(recording, stream) != MutterOutcome::kStarted) {
    stop_.Stop(
        "[Capture] Mutter's screen cast did not start; no video until the stream is started "
        "again (--capture-backend portal shares through the desktop's dialog)",
        "The computer's GNOME desktop did not share its screen. Start the stream again, or "
        "choose the ScreenCast portal as the capture source on the computer.");
    return false;
  }
  // Mutter casts on the session's own PipeWire daemon, not through a handed-over socket.
  streaming_ =
      consumer_.Open(-1, stream.node_id, recording_.virtual_width, recording_.virtual_height);
  if (!streaming_) {
    mutter_->Stop();
    stop_.Stop("[Capture] Mutter's PipeWire stream could not be opened; no video",
               kStreamUnreadableNotice);
    return false;
  }
  if (cursor_ != nullptr) {
    cursor_->SetStreamOrigin(stream.x, stream.y);
    cursor_->SetDrawnInPicture(!recording_.cursor_as_metadata);
  }
  return true;
}

CapturedFrame MutterCapturer::Capture(uint32_t wait_ms) {
  CapturedFrame frame;
  if (stop_.stopped() || !streaming_) {
    frame.status = CaptureStatus::kInvalidated;
    return frame;
  }
  frame = consumer_.Capture(wait_ms);
  if (frame.status == CaptureStatus::kFrameReady) {
    // Input maps onto what the stream shows, a virtual monitor's negotiated size included.
    mutter_->NoteStreamSize(frame.width, frame.height);
  } else if (frame.status == CaptureStatus::kInvalidated) {
    stop_.Stop("[Capture] Mutter ended the screen cast; no video until the stream is started again",
               kSharingEndedNotice);
  }
  return frame;
}

void MutterCapturer::Release() {
  consumer_.Close();
  if (streaming_) {
    mutter_->Stop();
  }
  streaming_ = false;
}

}  // namespace orvane
