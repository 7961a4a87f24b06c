#include "net/control_connection.h"

#include <algorithm>

#include "base/logger.h"
#include "net/control_frame_codec.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

// A failed socket call's error as an HRESULT; a clean close by the peer gives 0.
uint32_t ResultHresult(int result) {
  return HresultFromOsError(result == 0 ? 0 : LastSocketError());
}

// What is left until `deadline`, at least 1 ms: a socket time-out of 0 means none at all.
uint32_t RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<uint32_t>(std::max<int64_t>(left.count(), 1));
}

// Bounds how long a closing connection reads what the peer sent but nobody took.
constexpr auto kCloseDrainLimit = std::chrono::milliseconds(250);

// Reads and drops what the peer sent, until it is all taken or the limit runs out:
// closing a socket with unread bytes resets the connection, and the peer may then lose
// the last frames it had not yet read instead of seeing a clean end.
void DrainUnreadBytes(SocketHandle socket) {
  const Clock::time_point deadline = Clock::now() + kCloseDrainLimit;
  uint8_t scrap[4096];
  while (Clock::now() < deadline) {
    SetReceiveTimeout(socket, RemainingMs(deadline));
    if (ReceiveSome(socket, scrap, sizeof(scrap)) < 1) {
      return;
    }
  }
}

long long Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<long long>(duration.count());
}

}  // namespace

ControlConnection::ControlConnection(uint64_t id, SocketHandle socket, std::string address,
                                     uint16_t port, ControlDeadlines deadlines)
    : id_(id),
      socket_(socket),
      address_(std::move(address)),
      port_(port),
      deadlines_(deadlines),
      writer_([this] { WriteLoop(); }),
      watchdog_([this] { WatchLoop(); }) {}

ControlConnection::~ControlConnection() {
  // The interrupt has sent the peer our end of the stream; what it sent meanwhile is
  // taken before the close so that the close stays a clean one.
  Interrupt();
  writer_.join();
  watchdog_.join();
  DrainUnreadBytes(socket_);
  CloseSocket(socket_);
}

void ControlConnection::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    outgoing_.clear();
    queued_bytes_ = 0;
  }
  changed_.notify_all();
  InterruptSocket(socket_);
}

bool ControlConnection::QueueFrame(const uint8_t* data, uint32_t size) {
  const ControlFrameHeader header = EncodeControlFrameHeader(size);
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.insert(bytes.end(), data, data + size);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) {
      return false;
    }
    if (queued_bytes_ + bytes.size() <= deadlines_.max_queued_bytes) {
      queued_bytes_ += bytes.size();
      outgoing_.push_back(std::move(bytes));
      changed_.notify_all();
      return true;
    }
  }
  LOG_WARN("[TCP] Client %s:%u is not reading its control frames; closing the connection",
           address_.c_str(), port_);
  Interrupt();
  return false;
}

void ControlConnection::WriteLoop() {
  for (;;) {
    std::vector<uint8_t> bytes;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return ended_ || !outgoing_.empty(); });
      if (ended_) {
        return;
      }
      bytes = std::move(outgoing_.front());
      outgoing_.pop_front();
      queued_bytes_ -= bytes.size();
      write_deadline_ = Clock::now() + deadlines_.send;
    }
    changed_.notify_all();
    const bool written = SendAll(socket_, bytes);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      write_deadline_.reset();
    }
    if (!written) {
      // The receiving side sees the connection fail and hands the slot on.
      Interrupt();
      return;
    }
  }
}

void ControlConnection::WatchLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ended_) {
    if (!write_deadline_) {
      changed_.wait(lock);
      continue;
    }
    const Clock::time_point deadline = *write_deadline_;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !ended_ &&
        write_deadline_ == deadline) {
      lock.unlock();
      LOG_WARN("[TCP] Client %s:%u took no control frame for %lld ms; closing the connection",
               address_.c_str(), port_, Milliseconds(deadlines_.send));
      Interrupt();
      return;
    }
  }
}

bool ControlConnection::ReceiveBefore(uint8_t* data, size_t size, Clock::time_point deadline,
                                      Status& status) {
  for (size_t received = 0; received < size;) {
    SetReceiveTimeout(socket_, RemainingMs(deadline));
    const int result = ReceiveSome(socket_, data + received, size - received);
    if (result < 1) {
      if (result < 0 && IsTimeoutError(LastSocketError())) {
        LOG_WARN(
            "[TCP] Control frame from %s:%u not completed within %lld ms; closing the "
            "connection",
            address_.c_str(), port_, Milliseconds(deadlines_.receive));
        status = Status::Failure(StatusCode::kReceive, "Control frame not completed in time",
                                 kHresultFail);
      } else {
        status.hr = ResultHresult(result);
      }
      return false;
    }
    received += static_cast<size_t>(result);
  }
  return true;
}

bool ControlConnection::HasEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_;
}

Status ControlConnection::ReceiveFrame(std::vector<uint8_t>& payload) {
  // Not every socket layer fails a receive once the connection is shut down while the peer
  // keeps sending: an ended connection hands out nothing more.
  const Status ended = Status::Failure(StatusCode::kReceive, "Connection ended");
  if (HasEnded()) {
    return ended;
  }
  ControlFrameHeader header;
  // A frame may be as long in coming as the peer likes; the deadline starts with it.
  SetReceiveTimeout(socket_, 0);
  const int first = ReceiveSome(socket_, header.data(), 1);
  Status status = Status::Failure(StatusCode::kReceive, "Failed to receive frame header");
  if (first < 1) {
    status.hr = ResultHresult(first);
    return status;
  }
  const Clock::time_point deadline = Clock::now() + deadlines_.receive;
  if (!ReceiveBefore(header.data() + 1, header.size() - 1, deadline, status)) {
    return status;
  }
  const uint32_t size = DecodeControlFrameHeader(header);
  if (!IsValidControlFrameSize(size)) {
    LOG_ERROR("[TCP] Invalid frame size: %u", size);
    return Status::Failure(StatusCode::kMalformedData, "Invalid TCP frame size", kHresultFail);
  }
  payload.assign(size, 0);
  status = Status::Failure(StatusCode::kReceive, "Failed to receive frame payload");
  if (!ReceiveBefore(payload.data(), payload.size(), deadline, status)) {
    return status;
  }
  return HasEnded() ? ended : Status::Success();
}

}  // namespace orvane
