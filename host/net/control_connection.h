#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "platform/socket.h"

namespace orvane {

// How long a peer may take over one control frame, either way, before the connection is
// ended: a peer that stops inside a frame, or stops reading, must not hold the host.
struct ControlDeadlines {
  std::chrono::milliseconds receive{10000};
  std::chrono::milliseconds send{10000};
  // Frames waiting to be written beyond this mean the peer is not reading.
  size_t max_queued_bytes = 8u << 20;
};

// One accepted control connection. Frames to the peer are queued and written by the
// connection's own writer thread, so no caller ever blocks on a slow peer; a watchdog
// ends the connection when one frame takes longer than the send deadline (a timer of our
// own: not every socket layer honours a send time-out on a blocking socket). Its handle is
// closed only when the last user lets go, so a thread still blocked on it can never end
// up reading or writing another client's socket that was handed the same handle value.
class ControlConnection {
 public:
  ControlConnection(uint64_t id, SocketHandle socket, std::string address, uint16_t port,
                    ControlDeadlines deadlines = {});
  ~ControlConnection();
  ControlConnection(const ControlConnection&) = delete;
  ControlConnection& operator=(const ControlConnection&) = delete;

  // Ends the connection: wakes its blocked users, drops the frames not yet written, and
  // every later receive or send fails.
  void Interrupt();

  // Reads one whole frame. Waits as long as it takes for a frame to begin; once its first
  // byte is in, the rest must follow within the receive deadline.
  Status ReceiveFrame(std::vector<uint8_t>& payload);
  // Queues one frame for the writer; false when the connection has ended (or ends now
  // because the peer has not been taking its frames).
  bool QueueFrame(const uint8_t* data, uint32_t size);

  // Serial number of the connection within its server, from 1.
  uint64_t id() const { return id_; }
  SocketHandle socket() const { return socket_; }
  const std::string& address() const { return address_; }
  uint16_t port() const { return port_; }

 private:
  bool HasEnded();
  void WriteLoop();
  // Ends the connection when a frame being written misses its deadline.
  void WatchLoop();
  // Fills `data` before `deadline`; a time-out or failure leaves `status` saying which.
  bool ReceiveBefore(uint8_t* data, size_t size, std::chrono::steady_clock::time_point deadline,
                     Status& status);

  const uint64_t id_;
  const SocketHandle socket_;
  const std::string address_;
  const uint16_t port_;
  const ControlDeadlines deadlines_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> outgoing_;  // whole frames, header included
  size_t queued_bytes_ = 0;
  bool ended_ = false;
  // Set while the writer is inside a frame: when that frame must be out.
  std::optional<std::chrono::steady_clock::time_point> write_deadline_;
  std::thread writer_;
  std::thread watchdog_;
};

using ControlConnectionPtr = std::shared_ptr<ControlConnection>;

}  // namespace orvane
