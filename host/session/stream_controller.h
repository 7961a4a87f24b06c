#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "audio/audio_pipeline.h"
#include "net/abr_controller.h"
#include "net/tcp_control_server.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"
#include "session/host_options.h"
#include "session/input_channel.h"
#include "session/session_environment.h"
#include "video/capture_backend_choice.h"
#include "video/cursor_tracker.h"
#include "video/monitor_pipeline.h"

namespace orvane {

// Starts and stops the active client's stream: builds the monitor pipeline and its
// encoder, hands the session key to the media and input paths, starts the audio
// pipeline, and runs the frame loop on a thread of its own. Everything but Halt belongs to
// the supervisor's thread.
class StreamController {
 public:
  StreamController(const SessionEnvironment& environment, std::atomic<bool>& session_running,
                   ProtocolHandler& handler, TcpControlServer& control_server,
                   UdpMediaSender& media_sender, InputChannel& input);
  ~StreamController();
  StreamController(const StreamController&) = delete;
  StreamController& operator=(const StreamController&) = delete;

  // Once per session, before any stream: the cursor source, the audio capture, and how
  // many monitors the user asked to stream.
  void Initialize(uint32_t monitors);
  void SetCaptureSelection(uint32_t output_index, const std::string& backend);

  // Starts a stream with what the client negotiated; a running stream is stopped first.
  // False when no pipeline could be built (the client has been told).
  bool Start();
  // Ends the stream, if any: the frame loop is joined, audio stopped and the pipeline
  // destroyed.
  void Stop();
  // Any thread: tells a running frame loop to end and silences audio at once; Stop still
  // has to join and stop them.
  void Halt() { streaming_.store(false); }
  bool streaming() const { return streaming_.load(); }

  // The next frame the loop encodes is a keyframe.
  void RequestKeyframe() { keyframe_requested_.store(true); }
  // The bitrate controller restarts from the newly negotiated bitrate; a client's report
  // while streaming feeds it. The frame loop applies the result to the encoder.
  void ApplyQualityChange();
  void ApplyClientStats(const ClientStatsReport& report);

 private:
  bool BuildPipeline(const NegotiatedStream& stream);
  void DestroyPipeline();
  void ResolveCaptureChoice();

  const SessionEnvironment& environment_;
  std::atomic<bool>& session_running_;
  ProtocolHandler& handler_;
  TcpControlServer& control_server_;
  UdpMediaSender& media_sender_;
  InputChannel& input_;
  AbrController abr_;
  std::unique_ptr<CursorTracker> cursor_tracker_;  // none when the cursor cannot be read
  uint32_t monitors_ = 1;
  uint32_t capture_output_index_ = 0;
  // The user's choice, and what the platform made of it for the current stream.
  std::string requested_backend_ = kAutoCaptureSource;
  std::string capture_backend_ = kAutoCaptureSource;
  std::atomic<bool> streaming_{false};
  std::atomic<bool> keyframe_requested_{false};
  // Built by Start, used by the frame loop while it runs, destroyed by Stop.
  std::optional<MonitorPipeline> pipeline_;
  std::thread frame_loop_thread_;
  // Lives for the session; its capture thread reads streaming_ for every block.
  AudioPipeline audio_;
};

}  // namespace orvane
