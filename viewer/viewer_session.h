#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/control_client.h"
#include "client/input_sender.h"
#include "client/keyframe_recovery.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "protocol/pending_clipboard.h"
#include "services/clipboard_data.h"
#include "viewer/clock_offset.h"
#include "viewer/viewer_options.h"

namespace orvane::viewer {

class AudioPlayer;
class FrameSlot;
class ViewerStats;

// Where the host's pointer is and what it looks like; pixels B, G, R, A rows top-down.
struct HostCursor {
  bool known = false;
  bool visible = true;
  int x = 0;
  int y = 0;
  int hotspot_x = 0;
  int hotspot_y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;
  uint64_t shape_version = 0;  // changes whenever the pixels do
};

enum class SessionPhase {
  kConnecting,
  kNeedsCode,  // untrusted: waiting for the code typed into the window
  kStreaming,
  kWaitingForHost,  // the connection ended; trying again
  kRefused,         // the host will not have this device; nothing more to try
};

// The viewer's conversation with one host, on a thread of its own: Hello (with the code
// typed ahead or into the window when the host asks for one), capabilities from what this
// machine decodes and plays, the stream with its media thread, keyframe requests, pings
// for the host's clock, cursor and clipboard. When the connection ends it connects again
// every second, so a restarted host is picked up by itself.
class ViewerSession {
 public:
  ViewerSession(ViewerOptions options, FrameSlot& frames, ViewerStats& stats, AudioPlayer* audio);
  ~ViewerSession();
  ViewerSession(const ViewerSession&) = delete;
  ViewerSession& operator=(const ViewerSession&) = delete;

  void Start();
  // Stops the stream politely when one runs, and the thread.
  void Stop();

  // From the window's thread.
  SessionPhase phase() const { return phase_.load(); }
  std::string status() const;
  void SubmitCode(const std::string& code);
  void SendInput(orvane::protocol::v1::InputEvent event);
  // What this machine copied, text or a PNG image, for the host (from any thread).
  void OfferClipboard(ClipboardData data);
  // What the host copied, once each.
  std::optional<PendingClipboard> TakeHostClipboard();
  HostCursor cursor() const;
  // The host's capture time of a frame on this machine's clock.
  std::optional<int64_t> HostToLocal(uint64_t host_us) const;
  uint64_t connections() const { return connections_.load(); }

 private:
  void Run();
  // One connection, from Hello to its end; false when trying again is pointless.
  bool RunConnection();
  bool SayHello(client::ControlClient& control, std::string code);
  void Serve(client::ControlClient& control, const std::string& session_id);
  void Take(const orvane::protocol::v1::ControlMessage& message);
  bool Send(client::ControlClient& control, orvane::protocol::v1::ControlMessage message);
  void SetStatus(SessionPhase phase, std::string text);
  bool Wait(std::chrono::milliseconds limit);

  const ViewerOptions options_;
  FrameSlot& frames_;
  ViewerStats& stats_;
  AudioPlayer* audio_;
  client::KeyframeRecovery recovery_;
  // The code to prove in the next Hello: the one typed ahead, then the one typed in the
  // window; none once trusted. Used on the session's thread only.
  std::string pairing_code_;
  bool refused_ = false;  // by the host, or for want of an identity: trying again is pointless

  std::atomic<bool> running_{false};
  std::atomic<SessionPhase> phase_{SessionPhase::kConnecting};
  std::atomic<uint64_t> connections_{0};
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string status_ = "connecting";
  std::string typed_code_;
  std::deque<ClipboardData> outgoing_clipboard_;
  std::deque<PendingClipboard> incoming_clipboard_;
  // The host's latest copy: when it comes back from this machine's clipboard, it is not
  // sent again.
  PendingClipboard last_from_host_;
  HostCursor cursor_;
  ClockOffset clock_;
  bool stream_stopped_ = false;

  std::mutex input_mutex_;
  std::optional<client::InputSender> input_;
  uint32_t input_sequence_ = 0;
};

}  // namespace orvane::viewer
