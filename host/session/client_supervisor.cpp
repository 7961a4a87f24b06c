#include "session/client_supervisor.h"

#include <optional>
#include <vector>

#include "base/logger.h"
#include "services/file_transfer_answer.h"
#include "session/control_frame_opener.h"

namespace orvane {
namespace {

void LogStatus(const char* what, const Status& status) {
  LOG_ERROR("[Session] %s code=%d msg=%s hr=0x%08lX", what, status.code, status.message.c_str(),
            static_cast<unsigned long>(status.hr));
}

}  // namespace

ClientSupervisor::ClientSupervisor(const HostOptions& options, std::atomic<bool>& session_running,
                                   ProtocolHandler& handler, TcpControlServer& control_server,
                                   UdpMediaSender& media_sender, InputChannel& input,
                                   StreamController& stream, ClipboardMonitor& clipboard,
                                   FileTransferReceiver& file_receiver)
    : options_(options),
      session_running_(session_running),
      handler_(handler),
      control_server_(control_server),
      media_sender_(media_sender),
      input_(input),
      stream_(stream),
      clipboard_(clipboard),
      file_receiver_(file_receiver) {
  // Requests are raised while the control thread handles a frame of the adopted client.
  handler_.SetRequestCallback([this](ClientRequest request) {
    if (std::holds_alternative<FileTransferRequest>(request)) {
      std::lock_guard<std::mutex> lock(answer_mutex_);
      ++file_requests_posted_;
    }
    Post({std::move(request), adopted_connection_id_});
  });
  control_server_.SetActiveChangedCallback([this] { Post({ActiveClientChanged{}}); });
}

void ClientSupervisor::SetClientStateCallback(ClientStateCallback callback) {
  client_state_callback_ = std::move(callback);
}

void ClientSupervisor::RaiseClientState(SessionClientState state, const std::string& text) {
  if (client_state_callback_) {
    client_state_callback_(state, text);
  }
}

bool ClientSupervisor::WaitForFirstClient() {
  RaiseClientState(SessionClientState::kWaiting, {});
  LOG_INFO("[Session] Waiting for mobile client connection...");
  if (!control_server_.WaitForActiveClient()) {
    LogStatus("Failed to accept client",
              Status::Failure(StatusCode::kReceive, "No active client available"));
    return false;
  }
  const ActiveClient client = control_server_.ActiveClientSnapshot();
  // The client may have gone again already; there is nobody to adopt then.
  return client.connection_id != 0 && Adopt(client, false);
}

bool ClientSupervisor::Adopt(const ActiveClient& client, bool promotion) {
  bool endpoint_set = false;
  {
    std::lock_guard<std::mutex> lock(client_mutex_);
    if (stream_.streaming()) {
      // The stream belonged to the client that left; the newcomer starts its own.
      LOG_WARN("[Session] Active control client disconnected -- stopping stream");
    }
    stream_.Stop();
    handler_.ResetForNewClient();
    input_.AdoptClient(client.connection_id, client.address);
    const Status endpoint = media_sender_.SetRemote(client.address, options_.media_port);
    endpoint_set = endpoint.ok;
    if (!endpoint_set) {
      LogStatus("Failed to configure UDP remote", endpoint);
    }
    LOG_INFO(
        promotion ? "[Session] Promoted/connected next client: %s" : "[Session] Active client: %s",
        client.address.c_str());
    adopted_connection_id_ = client.connection_id;
    client_gone_ = false;
  }
  adopted_.notify_all();
  if (!endpoint_set) {
    return false;
  }
  RaiseClientState(SessionClientState::kConnected, client.address);
  return true;
}

void ClientSupervisor::Run() {
  while (std::optional<SessionEvent> event = events_.Pop()) {
    const uint64_t connection_id = event->connection_id;
    std::visit(
        [&](const auto& what) {
          using What = std::decay_t<decltype(what)>;
          if constexpr (std::is_same_v<What, ActiveClientChanged>) {
            Handle(what);
          } else {
            if (connection_id == adopted_connection_id_) {
              Handle(what);  // what a client asked for dies with its adoption
            }
            if (std::holds_alternative<FileTransferRequest>(what)) {
              SettleFileRequest();
            }
          }
        },
        event->what);
  }
}

void ClientSupervisor::Stop() {
  events_.Close();
  {
    // Taken so that a control thread between its check and its wait cannot miss the
    // wake-up (the session's running flag is already false).
    std::lock_guard<std::mutex> lock(client_mutex_);
  }
  adopted_.notify_all();
  { std::lock_guard<std::mutex> lock(answer_mutex_); }
  answers_settled_.notify_all();
}

void ClientSupervisor::SettleFileRequest() {
  {
    std::lock_guard<std::mutex> lock(answer_mutex_);
    ++file_requests_settled_;
  }
  answers_settled_.notify_all();
}

void ClientSupervisor::AwaitFileAnswers() {
  std::unique_lock<std::mutex> lock(answer_mutex_);
  answers_settled_.wait(lock, [this] {
    return file_requests_settled_ == file_requests_posted_ || !session_running_.load();
  });
}

void ClientSupervisor::Handle(const ActiveClientChanged&) {
  const ActiveClient client = control_server_.ActiveClientSnapshot();
  if (client.connection_id == adopted_connection_id_) {
    return;
  }
  if (!client_gone_) {
    // The adopted client has left: the tray learns it before anything that follows.
    RaiseClientState(SessionClientState::kDisconnected, {});
  }
  if (client.connection_id != 0) {
    Adopt(client, true);
    return;
  }
  if (client_gone_) {
    return;
  }
  client_gone_ = true;
  if (stream_.streaming()) {
    LOG_WARN("[Session] Active control client disconnected -- stopping stream");
  }
  stream_.Stop();
  // Keys and buttons the client held must not stay down while nobody is there.
  input_.EndClient();
  RaiseClientState(SessionClientState::kWaiting, {});
  LOG_INFO("[Session] Waiting for next control client...");
}

void ClientSupervisor::Handle(const ClientRequest& request) {
  std::visit(
      [this](const auto& what) {
        using What = std::decay_t<decltype(what)>;
        if constexpr (std::is_same_v<What, StartStreamRequest>) {
          stream_.Start();
        } else if constexpr (std::is_same_v<What, StopStreamRequest>) {
          stream_.Stop();
          LOG_INFO_COLLAPSED("[Session] Stream stopped");
        } else if constexpr (std::is_same_v<What, KeyframeRequest>) {
          stream_.RequestKeyframe();
        } else if constexpr (std::is_same_v<What, QualityChangeRequest>) {
          stream_.ApplyQualityChange();
        } else if constexpr (std::is_same_v<What, ClientStatsReport>) {
          stream_.ApplyClientStats(what);
        } else if constexpr (std::is_same_v<What, ClipboardRequest>) {
          clipboard_.Apply(what.clipboard);
        } else if constexpr (std::is_same_v<What, FileTransferRequest>) {
          AnswerFileRequest(what.transfer);
        } else if constexpr (std::is_same_v<What, TrustChangedRequest>) {
          handler_.SaveTrust();
        }
      },
      request);
}

bool ClientSupervisor::AwaitAdoption(std::unique_lock<std::mutex>& lock, uint64_t connection_id) {
  adopted_.wait(
      lock, [&] { return !session_running_.load() || adopted_connection_id_ >= connection_id; });
  return session_running_.load() && adopted_connection_id_ == connection_id;
}

void ClientSupervisor::ControlReceiveLoop() {
  ControlFrameOpener opener(handler_);
  std::vector<uint8_t> frame;
  while (session_running_.load() && control_server_.WaitForActiveClient()) {
    uint64_t connection_id = 0;
    const Status received = control_server_.ReceiveFrame(frame, &connection_id);
    if (!received.ok) {
      if (connection_id != 0) {
        LOG_INFO("[Session] Control connection closed for active client (code=%d, msg=%s)",
                 received.code, received.message.c_str());
      }
      continue;
    }
    std::unique_lock<std::mutex> lock(client_mutex_);
    if (!AwaitAdoption(lock, connection_id)) {
      continue;
    }
    const std::optional<std::vector<uint8_t>> payload = opener.Open(frame);
    if (!payload) {
      continue;
    }
    const Status status = handler_.HandleControlMessage(payload->data(), payload->size());
    if (!status.ok) {
      LOG_WARN_COLLAPSED("[Session] Control frame handling issue code=%d msg=%s", status.code,
                         status.message.c_str());
    }
    lock.unlock();
    AwaitFileAnswers();
  }
}

void ClientSupervisor::AnswerFileRequest(const protocol::v1::StartFileTransfer& request) {
  const std::string answer = AnswerFileTransfer(request, file_receiver_).SerializeAsString();
  // Sent bare, as every host message; a client gone meanwhile learns nothing.
  control_server_.SendFrame(reinterpret_cast<const uint8_t*>(answer.data()),
                            static_cast<uint32_t>(answer.size()));
}

}  // namespace orvane
