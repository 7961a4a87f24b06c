#include "platform/socket.h"

namespace orvane {

bool SendAll(SocketHandle socket, std::span<const uint8_t> bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const int result = SendSome(socket, bytes.data() + sent, bytes.size() - sent);
    if (result < 1) {
      return false;
    }
    sent += static_cast<size_t>(result);
  }
  return true;
}

}  // namespace orvane
