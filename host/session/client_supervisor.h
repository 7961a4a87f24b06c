#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/blocking_queue.h"
#include "net/tcp_control_server.h"
#include "net/udp_media_sender.h"
#include "protocol/protocol_handler.h"
#include "services/clipboard_monitor.h"
#include "services/file_transfer_receiver.h"
#include "session/client_state.h"
#include "session/host_options.h"
#include "session/input_channel.h"
#include "session/session_event.h"
#include "session/stream_controller.h"

namespace orvane {

// Serves the clients the transport admits, one after another: adopts each (a client newly
// accepted or promoted from the queue starts from nothing), reads and dispatches its
// control frames, and acts on what it asks for.
//
// The control thread turns frames into requests; the supervisor's thread drains them from
// one queue, together with the transport's changes of client, and does the slow work
// (streams, clipboard writes, file answers, the trust file) there. Adoption and the
// handling of a control frame exclude each other, so a frame is always handled with the
// state of the client that sent it.
class ClientSupervisor {
 public:
  ClientSupervisor(const HostOptions& options, std::atomic<bool>& session_running,
                   ProtocolHandler& handler, TcpControlServer& control_server,
                   UdpMediaSender& media_sender, InputChannel& input, StreamController& stream,
                   ClipboardMonitor& clipboard, FileTransferReceiver& file_receiver);
  ClientSupervisor(const ClientSupervisor&) = delete;
  ClientSupervisor& operator=(const ClientSupervisor&) = delete;

  void SetClientStateCallback(ClientStateCallback callback);
  // Any thread: queues work for the supervisor.
  void Post(SessionEvent event) { events_.Push(std::move(event)); }

  // Waits for the first client and adopts it; false when none could be awaited or set up.
  bool WaitForFirstClient();
  // The supervisor's body, on the session's main thread: handles events until Stop.
  void Run();
  // The control-receive thread's body, until the session stops.
  void ControlReceiveLoop();
  // Any thread: ends Run and wakes the control thread; returns at once.
  void Stop();

 private:
  void Handle(const ActiveClientChanged&);
  void Handle(const ClientRequest& request);
  bool Adopt(const ActiveClient& client, bool promotion);
  // Control thread: holds `lock` until the supervisor has adopted `connection_id`; false
  // when the frame's client was already replaced, or the session stops.
  bool AwaitAdoption(std::unique_lock<std::mutex>& lock, uint64_t connection_id);
  void RaiseClientState(SessionClientState state, const std::string& text);
  void AnswerFileRequest(const protocol::v1::StartFileTransfer& request);
  // A file request of the adopted client has been answered, or dropped with its client.
  void SettleFileRequest();
  // Control thread: waits until every file request it posted is settled.
  void AwaitFileAnswers();

  const HostOptions& options_;
  std::atomic<bool>& session_running_;
  ProtocolHandler& handler_;
  TcpControlServer& control_server_;
  UdpMediaSender& media_sender_;
  InputChannel& input_;
  StreamController& stream_;
  ClipboardMonitor& clipboard_;
  FileTransferReceiver& file_receiver_;
  ClientStateCallback client_state_callback_;
  BlockingQueue<SessionEvent> events_;

  std::mutex client_mutex_;
  std::condition_variable adopted_;
  // The connection the session has set up; written last by an adoption.
  uint64_t adopted_connection_id_ = 0;
  // Supervisor thread: the adopted client has gone and nobody has taken its place yet.
  bool client_gone_ = false;

  // A file request is answered before anything the client sent after it: the control
  // thread reads the next frame only once the supervisor has settled the request.
  std::mutex answer_mutex_;
  std::condition_variable answers_settled_;
  uint64_t file_requests_posted_ = 0;
  uint64_t file_requests_settled_ = 0;
};

}  // namespace orvane
