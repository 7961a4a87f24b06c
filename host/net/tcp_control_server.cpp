#include "net/tcp_control_server.h"

#include <algorithm>

#include "base/logger.h"
#include "net/control_frame_codec.h"

namespace orvane {
namespace {

// A failed socket call's error as an HRESULT; a clean close by the peer gives 0.
uint32_t ResultHresult(int result) {
  return HresultFromOsError(result == 0 ? 0 : LastSocketError());
}

bool ReceiveExactly(const ControlConnection& connection, uint8_t* data, size_t size,
                    uint32_t* failure_hr) {
  for (size_t received = 0; received < size;) {
    const int result = ReceiveSome(connection.socket(), data + received, size - received);
    if (result < 1) {
      *failure_hr = ResultHresult(result);
      return false;
    }
    received += static_cast<size_t>(result);
  }
  return true;
}

}  // namespace

TcpControlServer::~TcpControlServer() {
  Stop();
}

void TcpControlServer::SetStatus(Status status) {
  std::lock_guard<std::mutex> lock(status_mutex_);
  last_status_ = std::move(status);
}

bool TcpControlServer::Fail(StatusCode code, const char* message, uint32_t hr) {
  SetStatus(Status::Failure(code, message, hr));
  return false;
}

Status TcpControlServer::LastStatus() const {
  std::lock_guard<std::mutex> lock(status_mutex_);
  return last_status_;
}

bool TcpControlServer::StartListening(uint16_t port) {
  std::lock_guard<std::mutex> lifecycle(lifecycle_mutex_);
  SetStatus(Status::Success());
  const SocketHandle listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == kInvalidSocket) {
    const int error = LastSocketError();
    LOG_ERROR("[TCP] socket() failed: %d", error);
    return Fail(StatusCode::kSocketSetup, "socket() failed", HresultFromOsError(error));
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
    return Fail(StatusCode::kSocketSetup, "bind() failed", HresultFromOsError(error));
  }
  if (listen(listener, SOMAXCONN) != 0) {
    const int error = LastSocketError();
    LOG_ERROR("[TCP] listen() failed: %d", error);
    CloseSocket(listener);
    StopLocked();
    return Fail(StatusCode::kSocketSetup, "listen() failed", HresultFromOsError(error));
  }
  running_.store(true);
  accept_thread_.Start(listener, [this](SocketHandle socket) { AcceptLoop(socket); });
  LOG_INFO("[TCP] Listening on port %u", port);
  return true;
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
                                              ntohs(peer.sin_port)));
  }
}

void TcpControlServer::Admit(ControlConnectionPtr candidate) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_) {
      active_ = candidate;
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
}

bool TcpControlServer::WaitForActiveClient() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return active_ != nullptr || !running_.load(); });
  if (!active_) {
    return Fail(StatusCode::kReceive, "No active client available", kHresultFail);
  }
  SetStatus(Status::Success());
  return true;
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

bool TcpControlServer::ReceiveFrame(std::vector<uint8_t>& buffer, uint64_t* connection_id) {
  const ControlConnectionPtr connection = ActiveConnection();
  if (!connection) {
    return Fail(StatusCode::kReceive, "No active TCP client", kHresultFail);
  }
  if (connection_id != nullptr) {
    *connection_id = connection->id();
  }
  ControlFrameHeader header;
  uint32_t hr = 0;
  if (!ReceiveExactly(*connection, header.data(), header.size(), &hr)) {
    DisconnectActive(connection);
    return Fail(StatusCode::kReceive, "Failed to receive frame header", hr);
  }
  const uint32_t size = DecodeControlFrameHeader(header);
  if (!IsValidControlFrameSize(size)) {
    LOG_ERROR("[TCP] Invalid frame size: %u", size);
    DisconnectActive(connection);
    return Fail(StatusCode::kMalformedData, "Invalid TCP frame size", kHresultFail);
  }
  buffer.assign(size, 0);
  if (!ReceiveExactly(*connection, buffer.data(), buffer.size(), &hr)) {
    DisconnectActive(connection);
    return Fail(StatusCode::kReceive, "Failed to receive frame payload", hr);
  }
  SetStatus(Status::Success());
  return true;
}

bool TcpControlServer::SendFrame(const uint8_t* data, uint32_t size) {
  const ControlConnectionPtr connection = ActiveConnection();
  if (!connection) {
    return Fail(StatusCode::kSend, "No active TCP client", kHresultFail);
  }
  const ControlFrameHeader header = EncodeControlFrameHeader(size);
  std::unique_lock<std::mutex> frame_lock(connection->send_mutex());
  const int header_result = SendSome(connection->socket(), header.data(), header.size());
  if (header_result != static_cast<int>(header.size())) {
    const uint32_t hr = ResultHresult(header_result);
    frame_lock.unlock();
    DisconnectActive(connection);
    return Fail(StatusCode::kSend, "Failed to send frame header", hr);
  }
  for (uint32_t sent = 0; sent < size;) {
    const int result = SendSome(connection->socket(), data + sent, size - sent);
    if (result < 1) {
      const uint32_t hr = ResultHresult(result);
      frame_lock.unlock();
      DisconnectActive(connection);
      return Fail(StatusCode::kSend, "Failed to send frame payload", hr);
    }
    sent += static_cast<uint32_t>(result);
  }
  SetStatus(Status::Success());
  return true;
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
