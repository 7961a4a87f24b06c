#pragma once

#include <memory>
#include <string>

#include "video/capture_source_stop.h"
#include "video/mutter_remote_desktop_gdbus.h"
#include "video/pipewire_stream_consumer_pipewire.h"
#include "video/screen_capturer.h"
#include "video/stream_cursor_source.h"

namespace orvane {

// Captures a GNOME Wayland desktop through Mutter's own screen cast, tied to a
// remote-desktop session that also takes the client's input: no dialog, and with
// --extend a virtual monitor of the requested size that lives as long as the stream. The
// stream is read from the session's PipeWire daemon. A refusal stops this source for the
// rest of the stream and tells the user what to do.
class MutterCapturer final : public ScreenCapturer {
 public:
  // `recording` says whether a virtual monitor is wanted.
  MutterCapturer(std::shared_ptr<MutterRemoteDesktop> mutter,
                 std::shared_ptr<StreamCursorFeed> cursor, MutterRecording recording);
  ~MutterCapturer() override;

  const char* name() const override { return "mutter"; }
  const char* description() const override { return "Mutter screen cast"; }
  const char* tray_title() const override { return "Wayland (GNOME Mutter)"; }
  bool chosen_only() const override { return true; }
  std::string TakeClientNotice() override { return stop_.TakeNotice(); }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  const std::shared_ptr<MutterRemoteDesktop> mutter_;
  const std::shared_ptr<StreamCursorFeed> cursor_;
  const MutterRecording recording_;
  PipeWireStreamConsumer consumer_;
  bool streaming_ = false;
  CaptureSourceStop stop_;
};

}  // namespace orvane
