#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/status.h"
#include "net/control_connection.h"
#include "net/socket_thread.h"
#include "platform/socket.h"

namespace orvane {

// Who is active, read in one step: connection id 0 and an empty address when nobody is.
struct ActiveClient {
  uint64_t connection_id = 0;
  std::string address;
};

// The host's end of the control channel: one active client, at most one waiting, and
// length-prefixed frames (net/control_frame_codec.h). Results go back to the caller that
// asked, so threads never read each other's outcome.
class TcpControlServer {
 public:
  // Called, outside the server's lock, whenever the active client changes (a client
  // became active, left, or was replaced by the queued one).
  using ActiveChangedCallback = std::function<void()>;

  explicit TcpControlServer(ControlDeadlines deadlines = {});
  ~TcpControlServer();
  TcpControlServer(const TcpControlServer&) = delete;
  TcpControlServer& operator=(const TcpControlServer&) = delete;

  // Before StartListening.
  void SetActiveChangedCallback(ActiveChangedCallback callback);

  Status StartListening(uint16_t port);
  // Waits until a client is active; false only when the server has stopped.
  bool WaitForActiveClient();
  std::string ActiveClientAddress() const;
  bool HasActiveClient() const;
  // Reads a frame of the active client. `connection_id` (optional) receives the id of the
  // connection the frame came from, so that a caller can tell when a new client has taken
  // over. A failure ends that client.
  Status ReceiveFrame(std::vector<uint8_t>& buffer, uint64_t* connection_id = nullptr);
  // Id of the active connection; 0 when there is none.
  uint64_t ActiveConnectionId() const;
  ActiveClient ActiveClientSnapshot() const;
  // Queues a frame for the active client without waiting for the peer; false when there
  // is no active client or it has ended.
  bool SendFrame(const uint8_t* data, uint32_t size);
  // Closes the active client only if it is still `connection`, then promotes the queued one.
  void DisconnectActive(const ControlConnectionPtr& connection);
  void Stop();

 private:
  void StopLocked();
  void AcceptLoop(SocketHandle listener);
  void Admit(ControlConnectionPtr candidate);
  void PromoteQueued();
  ControlConnectionPtr ActiveConnection() const;
  void NotifyActiveChanged();

  const ControlDeadlines deadlines_;
  ActiveChangedCallback active_changed_;

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
};

}  // namespace orvane
