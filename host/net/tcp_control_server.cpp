#include "net/tcp_control_server.h"

#include <algorithm>
#include <string>

#include "base/logger.h"
#include "net/control_frame_codec.h"

namespace orvane {
TcpControlServer::TcpControlServer(ControlDeadlines deadlines) : deadlines_(deadlines) {}

void TcpControlServer::SetActiveChangedCallback(ActiveChangedCallback callback) {
  active_changed_ = std::move(callback);
}

void TcpControlServer::NotifyActiveChanged() {
  if (active_changed_) {
    active_changed_();
  }
}

TcpControlServer::~TcpControlServer() {
  Stop();
}

Status TcpControlServer::StartListening(uint16_t port) {
  std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
  const SocketHandle listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == kInvalidSocket) {
    const int error = LastSocketError();
    LOG_ERROR("[TCP] socket() failed: %d", error);
    return Status::Failure(StatusCode::kSocketSetup, "socket() failed", HresultFromOsError(error));
  }
  ClaimPortExclusively(listener);
  SetSocketOption(listener, IPPROTO_TCP, TCP_NODELAY, 1);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const int error = LastSocketError();
    LOG_ERROR("[TCP] bind() failed on port %u: %d", port, error);
    CloseSocket(listener);
    StopLocked();
    return Status::Failure(
        IsAddressTakenError(error) ? StatusCode::kPortTaken : StatusCode::kSocketSetup,
        "bind() failed", HresultFromOsError(error));
  }
  if (listen(listener, SOMAXCONN) != 0) {
    const int error = LastSocketError();
    LOG_ERROR("[TCP] listen() failed: %d", error);
    CloseSocket(listener);
    StopLocked();
    return Status::Failure(StatusCode::kSocketSetup, "listen() failed", HresultFromOsError(error));
  }
  running_.store(true);
  accept_thread_.Start(listener, [this](SocketHandle socket) { AcceptLoop(socket); });
  LOG_INFO("[TCP] Listening on port %u", port);
  return Status::Success();
}

void TcpControlServer::AcceptLoop(SocketHandle listener) {
  while (accept_thread_.running()) {
    sockaddr_in peer{};
    socklen_t peer_size = sizeof(peer);
    const SocketHandle accepted = accept(listener, reinterpret_cast<sockaddr*>(&peer), &peer_size);
    if (accepted == kInvalidSocket) {
      const int error = LastSocketError();
      if (!accept_thread_.running()) {
        return;
      }
      if (!IsListenerClosedError(error)) {
        LOG_WARN("[TCP] accept() transient failure: %d", error);
      }
      continue;
    }
    SetSocketOption(accepted, IPPROTO_TCP, TCP_NODELAY, 1);
    char text[64] = {};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
    Admit(std::make_shared<ControlConnection>(++last_connection_id_, accepted, text,
                                              ntohs(peer.sin_port), deadlines_));
  }
}

void TcpControlServer::Admit(ControlConnectionPtr candidate) {
  bool became_active = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_) {
      active_ = candidate;
      became_active = true;
      LOG_INFO("[TCP] Active client connected from %s:%u", candidate->address().c_str(),
               candidate->port());
    } else {
      const std::string& address = candidate->address();
      const bool active_duplicate = !active_->address().empty() && active_->address() == address;
      const bool queued_duplicate =
          std::any_of(queue_.begin(), queue_.end(), [&](const ControlConnectionPtr& queued) {
            return !queued->address().empty() && queued->address() == address;
          });
      if (active_duplicate || queued_duplicate) {
        LOG_WARN("[TCP] Dropping duplicate client %s:%u (active=%d queued=%d)", address.c_str(),
                 candidate->port(), active_duplicate ? 1 : 0, queued_duplicate ? 1 : 0);
        candidate->Interrupt();
      } else {
        if (!queue_.empty()) {
          queue_.front()->Interrupt();
          queue_.pop_front();
          LOG_WARN("[TCP] Replaced stale queued client with newer candidate");
        }
        queue_.push_back(candidate);
        LOG_INFO("[TCP] Queued client %s:%u (queue=%zu)", address.c_str(), candidate->port(),
                 queue_.size());
      }
    }
  }
  changed_.notify_all();
  if (became_active) {
    NotifyActiveChanged();
  }
}

bool TcpControlServer::WaitForActiveClient() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return active_ != nullptr || !running_.load(); });
  return active_ != nullptr;
}

std::string TcpControlServer::ActiveClientAddress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ ? active_->address() : std::string();
}

bool TcpControlServer::HasActiveClient() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ != nullptr;
}

ControlConnectionPtr TcpControlServer::ActiveConnection() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

uint64_t TcpControlServer::ActiveConnectionId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ ? active_->id() : 0;
}

ActiveClient TcpControlServer::ActiveClientSnapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_ ? ActiveClient{active_->id(), active_->address()} : ActiveClient{};
}

Status TcpControlServer::ReceiveFrame(std::vector<uint8_t>& buffer, uint64_t* connection_id) {
  const ControlConnectionPtr connection = ActiveConnection();
  if (!connection) {
    return Status::Failure(StatusCode::kReceive, "No active TCP client");
  }
  if (connection_id != nullptr) {
    *connection_id = connection->id();
  }
  const Status status = connection->ReceiveFrame(buffer);
  if (!status.ok) {
    DisconnectActive(connection);
  }
  return status;
}

bool TcpControlServer::SendFrame(const uint8_t* data, uint32_t size) {
  const ControlConnectionPtr connection = ActiveConnection();
  return connection && connection->QueueFrame(data, size);
}

void TcpControlServer::DisconnectActive(const ControlConnectionPtr& connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connection || connection != active_) {
      return;  // a stale disconnect from an earlier client changes nothing
    }
    active_->Interrupt();
    LOG_INFO("[TCP] Active client disconnected (%s:%u)", active_->address().c_str(),
             active_->port());
    active_.reset();
    PromoteQueued();
  }
  changed_.notify_all();
  NotifyActiveChanged();
}

void TcpControlServer::PromoteQueued() {
  while (!queue_.empty()) {
    ControlConnectionPtr next = std::move(queue_.front());
    queue_.pop_front();
    if (next && next->socket() != kInvalidSocket) {
      active_ = std::move(next);
      LOG_INFO("[TCP] Promoted queued client %s:%u (remaining queue=%zu)",
               active_->address().c_str(), active_->port(), queue_.size());
      return;
    }
  }
}

void TcpControlServer::Stop() {
  std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
  StopLocked();
}

void TcpControlServer::StopLocked() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.store(false);
  }
  changed_.notify_all();
  accept_thread_.Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (active_) {
      active_->Interrupt();
      active_.reset();
    }
    for (const ControlConnectionPtr& queued : queue_) {
      queued->Interrupt();
    }
    queue_.clear();
  }
  changed_.notify_all();
}

}  // namespace orvane
