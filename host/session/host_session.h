#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "net/tcp_control_server.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"
#include "services/clipboard_monitor.h"
#include "services/clipboard_sender.h"
#include "services/file_transfer_receiver.h"
#include "session/client_state.h"
#include "session/client_supervisor.h"
#include "session/host_options.h"
#include "session/input_channel.h"
#include "session/session_environment.h"
#include "session/stream_controller.h"
#include "video/capture_backend_choice.h"

namespace orvane {

// Owns everything that serves mobile clients: the control listener, the media and input
// sockets, the protocol handler, the client supervisor and the stream controller. Serves
// one client after another until it is told to stop.
//
// Threads, what each owns, and how stop reaches it:
//
//   main (caller of Run)  The supervisor loop: waits for and adopts clients, starts and
//                         stops streams (StreamController::Start/Stop, the pipeline and
//                         the frame-loop thread). Ends when session_running_ turns false;
//                         Run then stops the stream, joins the control thread and closes
//                         the sockets.
//   control-receive       Reads, opens and dispatches control frames; feeds the bitrate
//                         controller; answers file-transfer requests. Owns the frame opener and the
//                         handler's client-side state. A stop closes the transport, which fails a
//                         blocked receive; joined by Run.
//   transport accept      Admits connections as active or queued (TcpControlServer);
//                         woken and joined by TcpControlServer::Stop.
//   input receive         Filters input-port datagrams against the adopted client,
//                         injects input and re-aims the media stream (InputChannel);
//                         woken and joined by its Stop. Adoption, the loss of a client
//                         and the stop release held input under the channel's mutex.
//   frame loop            Captures, encodes and sends video, polls the cursor, sends
//                         stats; the only user of the capturers and the encoder's
//                         setters. Ends when streaming or session_running turns false;
//                         joined by StreamController::Stop.
//   audio capture         Captures, encodes and sends Opus packets (AudioPipeline; on
//                         Linux libpulse's main-loop thread), dropping every block while
//                         streaming is false. Started by StreamController::Start when the
//                         stream carries audio; stopped and joined by its Stop.
//   clipboard             Reads local clipboard changes and, while streaming, sends them
//                         (ClipboardMonitor's backend: the X11 selection's or the
//                         clipboard window's thread). Started by Initialize, stopped and
//                         joined at the end of Run and by the destructor. The client's
//                         updates are written to the clipboard by the control thread.
//   X event thread        (Linux) Hands X events to their subscribers; belongs to the
//                         shared display, not to the session.
//   others                Console handler and tray call RequestStop, which returns at once.
//
// Locks: ClientSupervisor's client mutex makes adoption and the handling of one control
// frame exclusive. The handler's mutex guards the negotiation, keys and pending stats;
// the transport's guards the active client and the queue; each connection's send mutex
// keeps frames whole; the media sender's guards its remote, key and counter; the input
// channel's guards the adopted client, its key and the injector. No lock is held while
// taking another, except that adoption and frame handling call into the others under the
// client mutex, and the input channel asks the transport, the handler and the media
// sender under its own.
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
  void StopNetwork();

  const SessionEnvironment environment_;
  HostOptions options_;
  std::atomic<bool> session_running_{false};
  std::atomic<bool> stop_requested_{false};
  ProtocolHandler handler_;
  TcpControlServer control_server_;
  UdpMediaSender media_sender_;
  InputChannel input_;
  StreamController stream_;
  ClipboardSender clipboard_sender_;
  ClipboardMonitor clipboard_;
  FileTransferReceiver file_receiver_;
  ClientSupervisor supervisor_;
  std::thread control_thread_;
};

}  // namespace orvane
