#include "session/client_supervisor.h"

#include <chrono>
#include <thread>
#include <vector>

#include "base/logger.h"
#include "services/file_transfer_answer.h"
#include "session/control_frame_opener.h"

namespace orvane {
namespace {

constexpr auto kSupervisorPeriod = std::chrono::milliseconds(50);
constexpr auto kControlIdlePeriod = std::chrono::milliseconds(20);

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
      file_receiver_(file_receiver) {}

void ClientSupervisor::SetClientStateCallback(ClientStateCallback callback) {
  client_state_callback_ = std::move(callback);
}

void ClientSupervisor::RaiseClientState(SessionClientState state, const std::string& text) {
  if (client_state_callback_) {
    client_state_callback_(state, text);
  }
}

bool ClientSupervisor::WaitForClient(bool promotion) {
  RaiseClientState(SessionClientState::kWaiting, {});
  LOG_INFO(promotion ? "[Session] Waiting for next control client..."
                     : "[Session] Waiting for mobile client connection...");
  if (!control_server_.WaitForActiveClient()) {
    LogStatus("Failed to accept client", control_server_.LastStatus());
    return false;
  }
  const ActiveClient client = control_server_.ActiveClientSnapshot();
  // The client may have gone again already; there is nobody to adopt then.
  return client.connection_id != 0 && Adopt(client, promotion);
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
    endpoint_set = media_sender_.SetRemote(client.address, options_.media_port);
    if (!endpoint_set) {
      LogStatus("Failed to configure UDP remote", media_sender_.LastStatus());
    }
    LOG_INFO(
        promotion ? "[Session] Promoted/connected next client: %s" : "[Session] Active client: %s",
        client.address.c_str());
    adopted_connection_id_ = client.connection_id;
  }
  adopted_.notify_all();
  if (!endpoint_set) {
    return false;
  }
  RaiseClientState(SessionClientState::kConnected, client.address);
  return true;
}

void ClientSupervisor::SupervisorLoop() {
  while (session_running_.load()) {
    const ActiveClient client = control_server_.ActiveClientSnapshot();
    if (client.connection_id == 0) {
      if (stream_.streaming()) {
        LOG_WARN("[Session] Active control client disconnected -- stopping stream");
        stream_.Stop();
      }
      // Keys and buttons the client held must not stay down while nobody is there.
      input_.EndClient();
      if (!WaitForClient(true)) {
        std::this_thread::sleep_for(kSupervisorPeriod);
      }
      continue;
    }
    if (client.connection_id != adopted_connection_id_) {
      Adopt(client, true);
    }
    if (handler_.stream_start_requested() && !stream_.Start()) {
      std::this_thread::sleep_for(kSupervisorPeriod);
      continue;
    }
    if (handler_.stream_stop_requested()) {
      handler_.ClearStreamRequests();
      stream_.Stop();
      LOG_INFO_COLLAPSED("[Session] Stream stopped");
    }
    std::this_thread::sleep_for(kSupervisorPeriod);
  }
}

void ClientSupervisor::RaiseDisconnected(uint64_t connection_id) {
  std::lock_guard<std::mutex> lock(client_mutex_);
  // A successor already adopted and announced as connected must not be shown as gone.
  if (connection_id == adopted_connection_id_) {
    RaiseClientState(SessionClientState::kDisconnected, {});
  }
}

bool ClientSupervisor::AwaitAdoption(std::unique_lock<std::mutex>& lock, uint64_t connection_id) {
  while (session_running_.load() && adopted_connection_id_ < connection_id) {
    adopted_.wait_for(lock, kControlIdlePeriod);
  }
  return session_running_.load() && adopted_connection_id_ == connection_id;
}

void ClientSupervisor::ControlReceiveLoop() {
  ControlFrameOpener opener(handler_);
  std::vector<uint8_t> frame;
  while (session_running_.load()) {
    if (!control_server_.HasActiveClient()) {
      std::this_thread::sleep_for(kControlIdlePeriod);
      continue;
    }
    uint64_t connection_id = 0;
    if (!control_server_.ReceiveFrame(frame, &connection_id)) {
      const Status status = control_server_.LastStatus();
      LOG_INFO("[Session] Control connection closed for active client (code=%d, msg=%s)",
               status.code, status.message.c_str());
      RaiseDisconnected(connection_id);
      std::this_thread::sleep_for(kControlIdlePeriod);
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
    stream_.ApplyClientStats();
    if (const std::optional<PendingClipboard> pending = handler_.TakePendingClipboard()) {
      clipboard_.Apply(*pending);
    }
    AnswerPendingFileTransfer();
  }
}

void ClientSupervisor::AnswerPendingFileTransfer() {
  const std::optional<protocol::v1::StartFileTransfer> request = handler_.TakePendingFileTransfer();
  if (!request) {
    return;
  }
  const std::string answer = AnswerFileTransfer(*request, file_receiver_).SerializeAsString();
  // Sent bare, as every host message; a client gone meanwhile learns nothing.
  control_server_.SendFrame(reinterpret_cast<const uint8_t*>(answer.data()),
                            static_cast<uint32_t>(answer.size()));
}

}  // namespace orvane
