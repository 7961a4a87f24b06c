#include "platform/socket.h"

#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace orvane {

int LastSocketError() {
  return errno;
}

bool IsListenerClosedError(int error) {
  return error == EINTR || error == EBADF || error == EINVAL || error == ENOTSOCK;
}

bool InterruptSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    shutdown(socket, SHUT_RDWR);
  }
  return false;
}

void CloseSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    close(socket);
  }
}

void SetSocketOption(SocketHandle socket, int level, int option, int value) {
  setsockopt(socket, level, option, &value, sizeof(value));
}

void SetReceiveTimeout(SocketHandle socket, uint32_t milliseconds) {
  timeval value{static_cast<time_t>(milliseconds / 1000),
                static_cast<suseconds_t>((milliseconds % 1000) * 1000)};
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof(value));
}

bool IsTimeoutError(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

int SendSome(SocketHandle socket, const void* data, size_t size) {
  for (;;) {
    const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
    if (sent >= 0 || errno != EINTR) {
      return static_cast<int>(sent);
    }
  }
}

int ReceiveSome(SocketHandle socket, void* data, size_t size) {
  for (;;) {
    const ssize_t received = recv(socket, data, size, 0);
    if (received >= 0 || errno != EINTR) {
      return static_cast<int>(received);
    }
  }
}

}  // namespace orvane
