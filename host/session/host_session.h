#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/abr_controller.h"
#include "net/input_datagram_filter.h"
#include "net/tcp_control_server.h"
#include "net/udp_input_receiver.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"
#include "session/host_options.h"
#include "session/platform_services.h"
#include "video/capture_backend_choice.h"
#include "video/cursor_tracker.h"
#include "video/monitor_pipeline.h"
#include "video/video_encoder.h"

namespace orvane {

enum class SessionClientState : uint32_t { kWaiting = 0, kConnected = 1, kDisconnected = 2 };

// Raised with the client's IPv4 address text for kConnected, an empty text otherwise.
using ClientStateCallback = std::function<void(SessionClientState, const std::string& text)>;

// What a session is built from; tests replace the trust folder and any platform service.
struct SessionEnvironment {
  TrustStoreEnvironment trust = TrustStoreEnvironment::System();
  PlatformServices platform;
};

// Owns everything that serves mobile clients and drives their life: the control listener,
// the handshake and negotiation, and stream start and stop. Serves one client after
// another until it is told to stop.
class HostSession {
 public:
  explicit HostSession(SessionEnvironment environment = {});
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  bool Initialize(const HostOptions& options);
  void SetCaptureSelection(uint32_t output_index, CaptureBackendChoice backend);
  void SetClientStateCallback(ClientStateCallback callback);

  // Blocks until RequestStop, or until the first client cannot be awaited.
  void Run();
  // Safe from any thread at any time after construction; returns at once.
  void RequestStop();

 private:
  bool WaitForClient(bool promotion);
  // A client became active (accepted or promoted): it starts a connection of its own.
  bool AdoptActiveClient(bool promotion);
  void SupervisorLoop();
  void ControlReceiveLoop();
  // Holds the control thread until the supervisor has set the new client up (media
  // endpoint, stream stopped), so that nothing the client sends races that set-up.
  void AwaitAdoption(uint64_t connection_id);
  bool StartStream();
  void StopStream();
  bool BuildPipeline(const NegotiatedStream& stream);
  void DestroyPipelines();
  void RaiseClientState(SessionClientState state, const std::string& text);
  // The input port's handler: punches re-aim the media stream, events are injected.
  Status HandleInputDatagram(std::span<const uint8_t> datagram, const DatagramSource& source);
  void Inject(const protocol::v1::InputEvent& event);
  void ApplyClientStats();
  void StopNetwork();

  SessionEnvironment environment_;
  // Built and destroyed by the supervisor; the control thread retunes their encoders.
  std::mutex pipelines_mutex_;
  std::vector<MonitorPipeline> pipelines_;
  ProtocolHandler handler_;
  TcpControlServer control_server_;
  UdpMediaSender media_sender_;
  UdpInputReceiver input_receiver_;
  InputDatagramFilter input_filter_;  // input receive thread only
  AbrController abr_;
  std::unique_ptr<InputInjector> injector_;        // none when the platform cannot inject
  std::unique_ptr<CursorTracker> cursor_tracker_;  // none when the cursor cannot be read
  HostOptions options_;
  // The session key as it stood at stream start, for input datagrams.
  mutable std::mutex input_key_mutex_;
  std::vector<uint8_t> input_key_;
  std::thread control_thread_;
  std::thread frame_loop_thread_;
  std::atomic<bool> session_running_{false};
  std::atomic<bool> streaming_{false};
  std::atomic<bool> stop_requested_{false};
  ClientStateCallback client_state_callback_;
  uint32_t capture_output_index_ = 0;
  CaptureBackendChoice capture_backend_ = CaptureBackendChoice::kAuto;
  // The connection whose arrival the supervisor has handled; written by the supervisor.
  std::atomic<uint64_t> adopted_connection_id_{0};
};

}  // namespace orvane
