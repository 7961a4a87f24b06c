#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/status.h"
#include "net/socket_thread.h"
#include "platform/socket.h"

namespace orvane {

// One accepted control connection. Its handle is closed only when the last user lets go,
// so a thread still blocked on it can never end up reading or writing another client's
// socket that was handed the same handle value.
class ControlConnection {
 public:
  ControlConnection(uint64_t id, SocketHandle socket, std::string address, uint16_t port)
      : id_(id), socket_(socket), address_(std::move(address)), port_(port) {}
  ~ControlConnection() { CloseSocket(socket_); }
  ControlConnection(const ControlConnection&) = delete;
  ControlConnection& operator=(const ControlConnection&) = delete;

  // Ends the connection: wakes its blocked users, and every later receive or send fails.
  void Interrupt() { InterruptSocket(socket_); }

  // Serial number of the connection within its server, from 1.
  uint64_t id() const { return id_; }
  SocketHandle socket() const { return socket_; }
  const std::string& address() const { return address_; }
  uint16_t port() const { return port_; }
  // Serialises whole frames written by several threads.
  std::mutex& send_mutex() { return send_mutex_; }

 private:
  uint64_t id_;
  SocketHandle socket_;
  std::string address_;
  uint16_t port_;
  std::mutex send_mutex_;
};

using ControlConnectionPtr = std::shared_ptr<ControlConnection>;

// Who is active, read in one step: connection id 0 and an empty address when nobody is.
struct ActiveClient {
  uint64_t connection_id = 0;
  std::string address;
};

// The host's end of the control channel: one active client, at most one waiting, and
// length-prefixed frames (net/control_frame_codec.h).
class TcpControlServer {
 public:
  TcpControlServer() = default;
  ~TcpControlServer();
  TcpControlServer(const TcpControlServer&) = delete;
  TcpControlServer& operator=(const TcpControlServer&) = delete;

  bool StartListening(uint16_t port);
  bool WaitForActiveClient();
  std::string ActiveClientAddress() const;
  bool HasActiveClient() const;
  // `connection_id` (optional) receives the id of the connection the frame came from, so
  // that a caller can tell when a new client has taken over.
  bool ReceiveFrame(std::vector<uint8_t>& buffer, uint64_t* connection_id = nullptr);
  // Id of the active connection; 0 when there is none.
  uint64_t ActiveConnectionId() const;
  ActiveClient ActiveClientSnapshot() const;
  bool SendFrame(const uint8_t* data, uint32_t size);
  // Closes the active client only if it is still `connection`, then promotes the queued one.
  void DisconnectActive(const ControlConnectionPtr& connection);
  void Stop();
  Status LastStatus() const;

 private:
  void StopLocked();
  void AcceptLoop(SocketHandle listener);
  void Admit(ControlConnectionPtr candidate);
  void PromoteQueued();
  ControlConnectionPtr ActiveConnection() const;
  void SetStatus(Status status);
  bool Fail(StatusCode code, const char* message, uint32_t hr);

  // Serialises StartListening and Stop, which several threads may call.
  std::mutex lifecycle_mutex_;
  // Set under mutex_, so that a waiter cannot miss the change between its check and sleep.
  std::atomic<bool> running_{false};
  SocketThread accept_thread_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  ControlConnectionPtr active_;
  std::deque<ControlConnectionPtr> queue_;
  uint64_t last_connection_id_ = 0;  // accept thread only

  mutable std::mutex status_mutex_;
  Status last_status_;
};

}  // namespace orvane
