#include <gtest/gtest.h>

#include "platform/socket.h"

namespace orvane {
namespace {

int SocketOption(SocketHandle socket, int option) {
  int value = -1;
  int size = sizeof(value);
  getsockopt(socket, SOL_SOCKET, option, reinterpret_cast<char*>(&value), &size);
  return value;
}

// Wine refuses a second socket on a port bound without address reuse, as Linux does, so only
// the option itself shows here whether Windows would let another program share the port.
TEST(SocketWinTest, HostPortsAreClaimedWithExclusiveAddressUse) {
  for (const int type : {SOCK_STREAM, SOCK_DGRAM}) {
    const SocketHandle handle = socket(AF_INET, type, 0);
    ClaimPortExclusively(handle);
    EXPECT_EQ(SocketOption(handle, SO_EXCLUSIVEADDRUSE), 1) << type;
    EXPECT_EQ(SocketOption(handle, SO_REUSEADDR), 0) << type;
    CloseSocket(handle);
  }
}

}  // namespace
}  // namespace orvane
