#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace orvane::testing {

// A TCP port on loopback that nothing listens on right now.
uint16_t FreeTcpPort();
// A UDP port that nothing is bound to right now.
uint16_t FreeUdpPort();

// The client end of a control connection, as a mobile client would hold it.
class TestClient {
 public:
  // Connects to 127.0.0.1:`port` from `local_address` (any 127.x.y.z address).
  explicit TestClient(uint16_t port, const std::string& local_address = "127.0.0.1");
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return socket_ != kInvalidSocket; }
  uint16_t local_port() const { return local_port_; }
  bool SendBytes(const std::vector<uint8_t>& bytes);
  bool SendFrame(const std::vector<uint8_t>& payload);
  // Reads one frame; false on close or error.
  bool ReceiveFrame(std::vector<uint8_t>& payload);
  // True when the host closed the connection (reads end of stream within the wait).
  bool WaitForClose();
  void Close();

 private:
  bool ReceiveExactly(uint8_t* data, size_t size);

  SocketHandle socket_ = kInvalidSocket;
  uint16_t local_port_ = 0;
};

std::vector<uint8_t> BigEndianLength(uint32_t length);

}  // namespace orvane::testing
