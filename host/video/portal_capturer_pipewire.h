#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "video/capture_source_stop.h"
#include "video/pipewire_stream_consumer_pipewire.h"
#include "video/portal_screen_cast_gdbus.h"
#include "video/screen_capturer.h"
#include "video/stream_cursor_source.h"

namespace orvane {

// Captures a Wayland desktop: the ScreenCast portal asks the user (once, thanks to the
// restore token) which monitor to share, and the PipeWire stream it opens is read by a
// PipeWireStreamConsumer. The portal's questions run on a thread of their own, so the
// stream goes on (without pictures) while the desktop's dialog is open. A refusal, or a
// desktop that ends the sharing, stops this source for the rest of the stream: the user
// is told what to do, and the next stream asks again.
class PortalCapturer final : public ScreenCapturer {
 public:
  PortalCapturer(std::shared_ptr<PortalScreenCast> portal,
                 std::shared_ptr<StreamCursorFeed> cursor);
  ~PortalCapturer() override;

  const char* name() const override { return "portal"; }
  const char* description() const override { return "ScreenCast portal"; }
  const char* tray_title() const override { return "Wayland (ScreenCast portal)"; }
  bool chosen_only() const override { return true; }
  std::string TakeClientNotice() override { return stop_.TakeNotice(); }
  bool Initialize(uint32_t output_index, uint32_t width, uint32_t height) override;
  CapturedFrame Capture(uint32_t wait_ms) override;
  void Release() override;

 private:
  // True once the portal answered; opens the stream if it agreed.
  bool TakeAnswer(uint32_t wait_ms);

  const std::shared_ptr<PortalScreenCast> portal_;
  const std::shared_ptr<StreamCursorFeed> cursor_;
  PipeWireStreamConsumer consumer_;
  std::thread start_thread_;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::optional<PortalOutcome> outcome_;
  PortalStream stream_;
  bool streaming_ = false;
  // No more attempts in this stream.
  CaptureSourceStop stop_;
};

}  // namespace orvane
