#pragma once

#include <atomic>
#include <cstdint>
#include <string>
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
//   main (caller of Run)  The supervisor: sleeps on the session's event queue and handles
//                         each event in order: changes of the transport's active client
//                         (adoption, the loss of a client) and the client's requests
//                         (stream start and stop, keyframes, quality and statistics for
//                         the bitrate controller, clipboard writes, file answers, the
//                         trust file). Ends when RequestStop closes the queue; Run then
//                         stops the stream, joins the control thread and closes the
//                         sockets.
//   control-receive       Sleeps until a client is active, then reads, opens and
//                         dispatches its control frames; the handler answers the
//                         handshake and negotiation itself and queues the rest as
//                         requests. Owns the frame opener and the handler's client-side
//                         state. A stop closes the transport, which fails a blocked
//                         receive or wait; joined by Run.
//   transport accept      Admits connections as active or queued (TcpControlServer) and
//                         posts the change of active client; woken and joined by
//                         TcpControlServer::Stop.
//   connection writers    One per control connection: writes its queued frames, so that
//                         no other thread ever blocks on a client; a frame not taken
//                         within its deadline ends the connection. Joined when the
//                         connection's last user lets go.
//   input receive         Filters input-port datagrams against the adopted client,
//                         injects input and re-aims the media stream (InputChannel);
//                         woken and joined by its Stop. Adoption, the loss of a client
//                         and the stop release held input under the channel's mutex.
//   frame loop            Captures, encodes and sends video, polls the cursor, queues
//                         cursor updates and stats; the only user of the capturers and the
//                         encoder's setters. Ends when streaming or session_running turns
//                         false; joined by StreamController::Stop.
//   audio capture         Captures, encodes and sends Opus packets (AudioPipeline; on
//                         Linux libpulse's main-loop thread), dropping every block while
//                         streaming is false. Started by StreamController::Start when the
//                         stream carries audio; stopped and joined by its Stop.
//   clipboard             Reads local clipboard changes and, while streaming, queues them
//                         for the client (ClipboardMonitor's backend: the X11 selection's
//                         or the clipboard window's thread). Started by Initialize, stopped
//                         and joined at the end of Run and by the destructor. The client's
//                         updates are written to the clipboard by the supervisor.
//   X event thread        (Linux) Hands X events to their subscribers; belongs to the
//                         shared display, not to the session.
//   system callbacks      (Windows) The default-device and capture-item-closed
//                         notifications arrive on the system's threads and only raise a
//                         flag that the audio capture thread or the frame loop reads.
//   others                Console handler and tray call RequestStop, which returns at once.
//
// Locks: ClientSupervisor's client mutex makes adoption and the handling of one control
// frame exclusive; nothing slow runs under it (sends are only queued). The handler's
// mutex guards the negotiation and keys; the transport's guards the active client and the
// queue; each connection's guards its outgoing frames; the media sender's guards its
// remote, key and counter; the input channel's guards the adopted client, its key and the
// injector. No lock is held while taking another, except that adoption and frame handling
// call into the others under the client mutex, and the input channel asks the transport,
// the handler and the media sender under its own.
class HostSession {
 public:
  explicit HostSession(SessionEnvironment environment = {});
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  bool Initialize(const HostOptions& options);
  // True when the last Initialize failed because another socket holds the control port.
  bool ControlPortTaken() const { return control_port_taken_; }
  void SetCaptureSelection(uint32_t output_index, const std::string& backend);
  void SetClientStateCallback(ClientStateCallback callback);

  // Blocks until RequestStop, or until the first client cannot be awaited.
  void Run();
  // Safe from any thread at any time after construction; returns at once.
  void RequestStop();

 private:
  void StopNetwork();

  const SessionEnvironment environment_;
  HostOptions options_;
  bool control_port_taken_ = false;
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
